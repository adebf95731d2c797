#include "platform/db/odbc/odbc_connection.h"

#include <charconv>

#include "platform/db/engines.h"
#include "platform/db/odbc/environment.h"
#include "platform/db/odbc/keyset_sql.h"
#include "platform/db/odbc/recordset.h"

namespace wq::db::odbc {

namespace {

// Whether a statement stores rows: such a statement is never sent twice, not even as the first
// statement on a pooled connection that turned out to be lost (the row may be stored).
bool IsInsert(TextView sql) {
  size_t i = sql.find_first_not_of(u" \t\r\n(");
  return i != TextView::npos && sql.size() - i >= 6 &&
         EqualsIgnoreCase(sql.substr(i, 6), u"INSERT");
}

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

}  // namespace

OdbcConnection::OdbcConnection(const OdbcTarget& target, bool pooled)
    : session_(std::make_shared<Session>(target.connection_string,
                                         target.login_timeout.value_or(kDefaultLoginTimeoutSeconds),
                                         pooled)) {}

OdbcConnection::~OdbcConnection() { Close(); }

std::unique_ptr<Recordset> OdbcConnection::Execute(const Text& sql,
                                                   const std::vector<Value>& params) {
  const Text statement_sql(SingleStatement(sql));
  if (IsInsert(statement_sql)) session_->MarkUsed();
  std::optional<ResultData> data = session_->Run([&]() -> std::optional<ResultData> {
    Statement statement(*session_);
    if (!statement.Execute(statement_sql, params)) {
      statement.Finish();
      return std::nullopt;
    }
    return statement.ReadAll();
  });
  if (!data) return nullptr;
  return OdbcRecordset::ReadOnly(session_, std::move(*data));
}

std::unique_ptr<Recordset> OdbcConnection::OpenKeyset(const Text& sql,
                                                      const std::vector<Value>& params) {
  Text table = KeysetTable(sql);
  session_->dbc();  // raises kObjectClosed on a closed connection
  return OdbcRecordset::Keyset(session_, Text(SingleStatement(sql)), params, std::move(table));
}

void OdbcConnection::Close() { session_->Close(); }

}  // namespace wq::db::odbc

namespace wq::db {

std::unique_ptr<Connection> OpenOdbc(const ConnectionString& cs) {
  // Whether the string is for ODBC does not depend on the drivers; ask the driver manager for
  // them only when it is. They are installed rarely: the list is read once per process.
  std::vector<std::pair<Text, Text>> pairs;
  for (const auto& pair : cs.pairs()) {
    if (!EqualsIgnoreCase(pair.first, u"OLE DB Services")) pairs.push_back(pair);
  }
  if (!odbc::IsForOdbc(pairs)) return nullptr;
  static const std::vector<Text> drivers = odbc::InstalledDrivers();
  std::optional<odbc::OdbcTarget> target = odbc::TranslateAdoToOdbc(pairs, drivers);
  return std::make_unique<odbc::OdbcConnection>(*target, odbc::PoolingWanted(cs.pairs()));
}

}  // namespace wq::db
