// The engine's one ODBC environment, created at first use and kept as long as the process. It
// changes no process-wide setting of the driver manager; connection reuse is the engine's own
// (connection_pool.h). Where the driver manager pools anyway (unixODBC with "Pooling=Yes" in
// odbcinst.ini), matching is relaxed.
#pragma once

#include <vector>

#include "platform/db/odbc/odbc_api.h"

namespace wq::db::odbc {

// Raises wq::DatabaseError when the driver manager cannot give an environment.
SQLHENV SharedEnvironment();

// The names of the installed ODBC drivers (SQLDrivers).
std::vector<Text> InstalledDrivers();

}  // namespace wq::db::odbc
