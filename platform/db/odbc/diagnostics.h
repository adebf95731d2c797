// Errors of ODBC calls: the SQLSTATE, native code and messages of the handle's diagnostic
// records, with every secret of the connection (its password) masked out.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/db/odbc/odbc_api.h"
#include "platform/db/secrets.h"
#include "platform/error.h"

namespace wq::db::odbc {

// Texts that must never appear in a message: the connection's secrets (platform/db/secrets.h).
using Secrets = db::Secrets;

// The database failure (Error::Database) of a failed call: number = the first record's native code
// (kProviderError when it is 0), sqlstate = its SQLSTATE, description = "<action>: <message>
// [<SQLSTATE>]" for each record (at most a few), secrets masked.
Error DiagnosticError(SQLSMALLINT handle_type, SQLHANDLE handle, SQLRETURN rc,
                      std::string_view action, const Secrets& secrets);

// Raises DiagnosticError unless rc is a success (SQL_NO_DATA counts as one).
inline void Check(SQLRETURN rc, SQLSMALLINT handle_type, SQLHANDLE handle, std::string_view action,
                  const Secrets& secrets) {
  if (!Succeeded(rc) && rc != SQL_NO_DATA) {
    throw DiagnosticError(handle_type, handle, rc, action, secrets);
  }
}

// True when the database failure says the connection to the server is gone (SQLSTATE class 08, or a
// server shutting down: 57P01..57P03).
bool IsConnectionLost(const Error& error);

// True when the database failure says the server chose the statement as a deadlock victim and
// rolled it back whole (SQL Server: error 1205, SQLSTATE 40001; PostgreSQL: 40P01).
bool IsDeadlockVictim(const Error& error);

}  // namespace wq::db::odbc
