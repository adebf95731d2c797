// The database engines behind Connection::Open. Each takes the parsed connection string of its
// provider and returns an open connection or raises wq::Error; none may put a password into an
// error description.
#pragma once

#include <memory>

#include "platform/db/connection.h"
#include "platform/db/connection_string.h"

namespace wq::db {

// Provider=SQLite;Data Source=PATH (platform/db/sqlite). The file is created if missing and put
// in write-ahead-log mode; a locked file is waited for up to 10 s. GETDATE() gives the machine's
// local time (the zone of /etc/localtime, whatever the process's TZ). Text in a DATE/DATETIME/TIMESTAMP column, or in GETDATE()'s form in an untyped column,
// reads as a DateTime; BLOB values raise a type mismatch. Execute results are read whole when
// they open; keyset results when first needed.
std::unique_ptr<Connection> OpenSqlite(const ConnectionString& cs);

// Shared database servers through the ODBC driver manager (platform/db/odbc): the SQL Server
// providers (SQLOLEDB, MSOLEDBSQL*, SQLNCLI*) mapped to the installed SQL Server ODBC driver,
// Provider=MSDASQL, and ODBC strings (DSN=, FILEDSN=, Driver=) without a provider, handed on as
// they are. nullptr for any other connection string.
std::unique_ptr<Connection> OpenOdbc(const ConnectionString& cs);

}  // namespace wq::db
