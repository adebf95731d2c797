#include "platform/db/odbc/odbc_connection.h"

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
  std::optional<ResultData> data = session_->Run([&]() -> std::optional<ResultData> {
    Statement statement(*session_);
    if (!statement.Execute(sql, params)) {
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
  return OdbcRecordset::Keyset(session_, sql, params, std::move(table));
}

void OdbcConnection::Close() { session_->Close(); }

std::unique_ptr<Connection> OpenForAdo(const std::vector<std::pair<Text, Text>>& adoPairs) {
  // Drivers are installed rarely; the list is read once per process.
  static const std::vector<Text> drivers = InstalledDrivers();
  std::optional<OdbcTarget> target = TranslateAdoToOdbc(adoPairs, drivers);
  if (!target) return nullptr;
  return std::make_unique<OdbcConnection>(*target);
}

}  // namespace wq::db::odbc
