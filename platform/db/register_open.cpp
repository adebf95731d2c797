// Register::Open: picks the adapter that the connection string names.
#include <string>

#include "platform/db/connection_string.h"
#include "platform/db/odbc/odbc_register.h"
#include "platform/db/register.h"
#include "platform/error.h"
#ifndef _WIN32
#include "platform/db/sqlite/sqlite_register.h"
#endif

namespace wq::db {
namespace {

std::string Describe(const Text& connectionString) {
  return "'" + ToUtf8(ConnectionString::Redact(connectionString)) + "'";
}

#ifndef _WIN32
std::unique_ptr<Register> OpenSqlite(const ConnectionString& cs, Access access) {
  const std::optional<Text> path = cs.Get(u"Data Source");
  if (!path || path->empty()) {
    throw Error(kProviderError,
                "Cannot open the database: the SQLite connection string has no "
                "Data Source (the database file's path)");
  }
  if (path->find(u'\0') != Text::npos) {
    // The file name would end at the NUL and name another file.
    throw Error(kProviderError,
                "Cannot open the database: the SQLite Data Source contains a NUL character");
  }
  return sqlite::OpenRegister(ToUtf8(*path), access);
}
#endif

}  // namespace

std::unique_ptr<Register> Register::Open(const Text& connectionString, Access access) {
  ConnectionString cs;
  try {
    cs = ConnectionString::Parse(connectionString);
  } catch (const Error& e) {
    throw Error(e.number(), "Cannot open the database: " + e.description());
  }
  const std::optional<Text> provider = cs.Get(u"Provider");
#ifdef _WIN32
  // The embedded engine belongs to the Linux build; Windows reaches SQLite through its ODBC driver.
  if (provider && EqualsIgnoreCase(*provider, u"SQLite")) {
    throw Error(kProviderError,
                "Cannot open the database: Provider=SQLite is not available on Windows; use an "
                "SQLite ODBC driver (Driver=SQLite3;Database=...) (connection string " +
                    Describe(connectionString) + ")");
  }
#else
  if (provider && EqualsIgnoreCase(*provider, u"SQLite")) return OpenSqlite(cs, access);
#endif
  if (std::unique_ptr<Register> odbc = odbc::OpenRegister(cs, access)) return odbc;

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
