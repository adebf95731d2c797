#include "platform/db/odbc/odbc_register.h"

#include <algorithm>
#include <charconv>

#include "platform/db/odbc/ado_translate.h"
#include "platform/db/odbc/dialect.h"
#include "platform/db/odbc/environment.h"
#include "platform/db/odbc/session.h"
#include "platform/db/odbc/statement.h"
#include "platform/db/register_sql.h"

namespace wq::db::odbc {
namespace {

// ADO's "OLE DB Services" switches resource pooling off when its lowest bit is clear (-2, -4, 0).
// The key is ADO's own; ODBC drivers never see it.
bool PoolingWanted(const std::vector<std::pair<Text, Text>>& pairs) {
  std::optional<Text> value;
  for (const auto& [key, v] : pairs) {
    if (EqualsIgnoreCase(key, u"OLE DB Services")) value = v;
  }
  if (!value) return true;
  std::string digits = ToUtf8(*value);
  size_t first = digits.find_first_not_of(' '), last = digits.find_last_not_of(' ');
  digits = first == std::string::npos ? "" : digits.substr(first, last - first + 1);
  long long services = -1;
  auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), services);
  if (digits.empty() || ec != std::errc() || end != digits.data() + digits.size()) {
    throw Error::InvalidProcedureCall("OLE DB Services is not a number");
  }
  return (services & 1) != 0;
}

class OdbcRegister final : public Register {
 public:
  OdbcRegister(const OdbcTarget& target, bool pooled)
      : session_(target.connection_string,
                 target.login_timeout.value_or(kDefaultLoginTimeoutSeconds), pooled),
        dialect_(DialectOf(session_.dbms())) {}
  ~OdbcRegister() override { Close(); }

  std::optional<Value> ServerClock() override {
    return session_.Run([&]() -> std::optional<Value> {
      Statement st(session_);
      if (!st.Execute(dialect_.serverClockQuery, {})) return std::nullopt;
      const std::vector<Column> columns = st.Describe();
      std::optional<Value> value;
      if (!columns.empty() && st.Fetch()) value = st.Get(0, columns[0]);
      st.Finish();
      return value;
    });
  }

  void ScanMarked(const Text& marker, const std::function<void(const MarkedRow&)>& visit) override {
    session_.Run([&] {
      Statement st(session_);
      if (!st.Execute(MarkedRowsQuery(marker), {})) return true;
      const std::vector<Column> columns = st.Describe();
      std::vector<Text> names;
      for (const Column& c : columns) names.push_back(c.name);
      const MarkedColumns c = FindMarkedColumns(names);
      // Drivers hand over a row's columns in ascending order only.
      struct Wanted {
        int column;
        Value MarkedRow::*field;
      };
      std::vector<Wanted> wanted = {{c.id, &MarkedRow::id},
                                    {c.option, &MarkedRow::option},
                                    {c.module, &MarkedRow::module},
                                    {c.state, &MarkedRow::state}};
      std::sort(wanted.begin(), wanted.end(),
                [](const Wanted& a, const Wanted& b) { return a.column < b.column; });
      MarkedRow row;
      while (st.Fetch()) {
        for (const Wanted& w : wanted) {
          const bool option = w.column == c.option;
          st.GetInto(w.column, columns[w.column], row.*w.field, option ? kMaxOptionUnits : 0,
                     option ? &row.optionTooLong : nullptr);
        }
        // A row handed over is never handed over again: a connection lost from here on is an
        // error, not a reason to read the rows anew.
        session_.MarkUsed();
        visit(row);
      }
      st.Finish();
      return true;
    });
  }

  void Add(const Text& marker, const Text& option, int16_t state, const Text& module) override {
    // A row may be stored even when the answer is lost: never sent twice.
    session_.MarkUsed();
    Run(kAddRow, {Value(marker), Value(option), Value(int64_t{state}), Value(module)});
  }

  void DeleteMarked(const Text& marker, const std::vector<Value>& ids,
                    const std::optional<Text>& module) override {
    if (ids.empty()) return;
    const DeleteStatement d = MakeDelete(marker, ids, module);
    Run(d.sql, d.params);
  }

  int64_t CountMarked(const Text& marker) override {
    return session_.Run([&] {
      Statement st(session_);
      int64_t n = 0;
      if (st.Execute(CountQuery(marker), {})) {
        const std::vector<Column> columns = st.Describe();
        if (!columns.empty() && st.Fetch()) n = CountOf(st.Get(0, columns[0]));
      }
      st.Finish();
      return n;
    });
  }

  std::string product() const override { return session_.dbms(); }

  void RunSchemaStatement(const Text& sql) override { Run(sql, {}); }

  void Close() override { session_.Close(); }

 private:
  void Run(const Text& sql, const std::vector<Value>& params) {
    session_.Run([&] {
      Statement st(session_);
      st.Execute(sql, params);
      st.Finish();
      return true;
    });
  }

  Session session_;
  Dialect dialect_;
};

}  // namespace

std::unique_ptr<Register> OpenRegister(const ConnectionString& cs, Access access) {
  (void)access;  // the server's own permissions decide; nothing here creates a database
  // Whether the string is for ODBC does not depend on the drivers; ask the driver manager for
  // them only when it is. They are installed rarely: the list is read once per process.
  std::vector<std::pair<Text, Text>> pairs;
  for (const auto& pair : cs.pairs()) {
    if (!EqualsIgnoreCase(pair.first, u"OLE DB Services")) pairs.push_back(pair);
  }
  if (!IsForOdbc(pairs)) return nullptr;
  static const std::vector<Text> drivers = InstalledDrivers();
  std::optional<OdbcTarget> target = TranslateAdoToOdbc(pairs, drivers);
  return std::make_unique<OdbcRegister>(*target, PoolingWanted(cs.pairs()));
}

}  // namespace wq::db::odbc
