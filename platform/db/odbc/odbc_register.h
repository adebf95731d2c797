// The ODBC adapter of Register: shared database servers through the ODBC driver manager
// (unixODBC, or odbc32 on Windows), through the UTF-16 ("W") functions, with a pool of its own
// idle connections.
#pragma once

#include <memory>

#include "platform/db/connection_string.h"
#include "platform/db/register.h"

namespace wq::db::odbc {

// The SQL Server providers (SQLOLEDB, MSOLEDBSQL*, SQLNCLI*) mapped to the installed SQL Server
// ODBC driver, Provider=MSDASQL, and ODBC strings (DSN=, FILEDSN=, Driver=) without a provider,
// handed on as they are; nullptr for any other connection string. Raises Error::Database
// (SQLSTATE, the driver's native code and message, never the password) when it cannot connect.
// ADO's "OLE DB Services" with its lowest bit clear switches the engine's pool off.
std::unique_ptr<Register> OpenRegister(const ConnectionString& cs, Access access);

}  // namespace wq::db::odbc
