// The SQL-shape checks: one statement, the keyset source (with and without SQLite's `...`
// names), and the ODBC engine's keyset table. Each either refuses with invalid procedure call or
// answers something that holds: the single statement is part of the text and passes again, a
// keyset table is part of the statement.
#include "platform/db/odbc/keyset_sql.h"
#include "platform/db/sql_text.h"
#include "platform/error.h"
#include "tests/fuzz/fuzz_input.h"

namespace {

template <typename F>
bool Refused(F&& f) {
  try {
    f();
    return false;
  } catch (const wq::Error& e) {
    if (e.number() != wq::kInvalidProcedureCall) wq::fuzz::Violated("refused with another error");
    return true;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace wq;
  const Text sql = fuzz::AnyText(data, size);
  const bool backticks = size > 0 && (data[0] & 2);
  TextView single;
  if (!Refused([&] { single = db::SingleStatement(sql, backticks); })) {
    if (single.empty() || sql.find(single) == Text::npos) {
      fuzz::Violated("the single statement is not part of the text");
    }
    TextView again;
    if (Refused([&] { again = db::SingleStatement(single, backticks); }) || again != single) {
      fuzz::Violated("the single statement does not pass again");
    }
  }
  db::KeysetSource source;
  if (!Refused([&] { source = db::ParseKeysetSource(sql, backticks); })) {
    if (source.table.empty() || source.parts.empty() || source.parts.size() > 2) {
      fuzz::Violated("odd keyset source");
    }
    for (TextView part : source.parts) {
      if (db::UnquoteName(part).empty()) fuzz::Violated("an empty name part");
    }
  }
  Text table;
  if (!Refused([&] { table = db::odbc::KeysetTable(sql); })) {
    if (table.empty() || sql.find(table) == Text::npos) fuzz::Violated("odd ODBC keyset table");
  }
  return 0;
}
