// Connection::Open: picks the engine that the connection string names.
#include <string>

#include "platform/db/connection.h"
#include "platform/db/connection_string.h"
#include "platform/db/engines.h"
#include "platform/error.h"

namespace wq::db {
namespace {

std::string Describe(const Text& connectionString) {
  return "'" + ToUtf8(ConnectionString::Redact(connectionString)) + "'";
}

}  // namespace

std::unique_ptr<Connection> Connection::Open(const Text& connectionString) {
  ConnectionString cs;
  try {
    cs = ConnectionString::Parse(connectionString);
  } catch (const Error& e) {
    throw Error(e.number(), "Cannot open the database: " + e.description());
  }
  const std::optional<Text> provider = cs.Get(u"Provider");
  if (provider && EqualsIgnoreCase(*provider, u"SQLite")) return OpenSqlite(cs);
  if (std::unique_ptr<Connection> odbc = OpenOdbc(cs)) return odbc;

  if (provider) {
    throw Error(kProviderError,
                "Cannot open the database: the provider '" + ToUtf8(*provider) +
                    "' is not supported; use SQLite, a SQL Server provider (SQLOLEDB, "
                    "MSOLEDBSQL, SQLNCLI11) or MSDASQL (connection string " +
                    Describe(connectionString) + ")");
  }
  throw Error(kProviderError,
              "Cannot open the database: the connection string names no provider this build "
              "supports (connection string " +
                  Describe(connectionString) + ")");
}

}  // namespace wq::db
