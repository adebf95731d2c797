#include "platform/db/odbc/odbc_connection.h"

#include "platform/db/engines.h"
#include "platform/db/odbc/environment.h"
#include "platform/db/odbc/keyset_sql.h"
#include "platform/db/odbc/recordset.h"

namespace wq::db::odbc {

OdbcConnection::OdbcConnection(const OdbcTarget& target)
    : session_(std::make_shared<Session>(
          target.connection_string, target.login_timeout.value_or(kDefaultLoginTimeoutSeconds))) {}

OdbcConnection::~OdbcConnection() { Close(); }

std::unique_ptr<Recordset> OdbcConnection::Execute(const Text& sql,
                                                   const std::vector<Value>& params) {
  const Text statement_sql(SingleStatement(sql));
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
  if (!odbc::TranslateAdoToOdbc(cs.pairs(), {})) return nullptr;
  static const std::vector<Text> drivers = odbc::InstalledDrivers();
  std::optional<odbc::OdbcTarget> target = odbc::TranslateAdoToOdbc(cs.pairs(), drivers);
  return std::make_unique<odbc::OdbcConnection>(*target);
}

}  // namespace wq::db
