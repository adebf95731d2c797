// The SQL-shape checks: one statement (ODBC), the keyset source (ODBC and the embedded engine).
// Each either refuses with invalid procedure call or answers something that holds: the single
// statement is part of the text, a keyset table is part of the statement.
#include "platform/db/odbc/keyset_sql.h"
#include "platform/db/sqlite/keyset_query.h"
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
  TextView single;
  if (!Refused([&] { single = db::odbc::SingleStatement(sql); })) {
    if (single.empty() || sql.find(single) == Text::npos) {
      fuzz::Violated("the single statement is not part of the text");
    }
    // A statement that passed passes again as it is.
    TextView again;
    if (Refused([&] { again = db::odbc::SingleStatement(single); }) || again != single) {
      fuzz::Violated("the single statement does not pass again");
    }
  }
  Text table;
  if (!Refused([&] { table = db::odbc::KeysetTable(sql); })) {
    if (table.empty() || sql.find(table) == Text::npos) fuzz::Violated("odd ODBC keyset table");
  }
  db::sqlite::KeysetQuery query;
  if (!Refused([&] { query = db::sqlite::ParseKeysetQuery(sql); })) {
    if (query.table.empty()) fuzz::Violated("empty SQLite keyset table");
  }
  return 0;
}
