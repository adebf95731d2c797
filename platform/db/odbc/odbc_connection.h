// The ODBC engine: db::Connection over the ODBC driver manager (unixODBC, or odbc32 on
// Windows), through the UTF-16 ("W") functions, with a pool of its own idle connections.
#pragma once

#include <memory>
#include <string>

#include "platform/db/connection.h"
#include "platform/db/odbc/ado_translate.h"
#include "platform/db/odbc/session.h"

namespace wq::db::odbc {

class OdbcConnection final : public Connection {
 public:
  // Connects with an ODBC connection string; raises wq::DatabaseError (SQLSTATE, the driver's
  // native code and message, never the password) when it cannot. Unpooled, it neither takes an
  // idle connection from the engine's pool nor gives its own back.
  explicit OdbcConnection(const OdbcTarget& target, bool pooled = true);
  ~OdbcConnection() override;

  std::unique_ptr<Recordset> Execute(const Text& sql,
                                     const std::vector<Value>& params = {}) override;
  std::unique_ptr<Recordset> OpenKeyset(const Text& sql,
                                        const std::vector<Value>& params = {}) override;
  void Close() override;
  const char* engine() const override { return "odbc"; }

  // The database product as the driver names it (SQL_DBMS_NAME): "PostgreSQL",
  // "Microsoft SQL Server", "SQLite", ...
  std::string dbms() const override { return session_->dbms(); }

 private:
  std::shared_ptr<Session> session_;
};

}  // namespace wq::db::odbc
