// The process's one ODBC environment. It is created at first use with the driver manager's
// connection pooling turned on (one pool per environment, relaxed matching) and lives as long
// as the process. On unixODBC the pool also needs "Pooling=Yes" in the [ODBC] section of
// odbcinst.ini and a CPTimeout above 0 in the driver's section; without them connections are
// simply not pooled.
#pragma once

#include <vector>

#include "platform/db/odbc/odbc_api.h"

namespace wq::db::odbc {

// Raises wq::DatabaseError when the driver manager cannot give an environment.
SQLHENV SharedEnvironment();

// The names of the installed ODBC drivers (SQLDrivers).
std::vector<Text> InstalledDrivers();

}  // namespace wq::db::odbc
