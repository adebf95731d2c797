// The engine's one ODBC environment, created at first use and kept until ReleaseEnvironment. It
// changes no process-wide setting of the driver manager; connection reuse is the engine's own
// (connection_pool.h). Where the driver manager pools anyway (unixODBC with "Pooling=Yes" in
// odbcinst.ini), matching is relaxed.
#pragma once

#include <vector>

#include "platform/db/odbc/odbc_api.h"

namespace wq::db::odbc {

// Raises Error::Database when the driver manager cannot give an environment.
SQLHENV SharedEnvironment();

// Counts the connection handles allocated on the environment (Session, the pool's Discard).
void ConnectionAllocated();
void ConnectionFreed();

// Frees the environment when no connection handle is left on it (false when one is); the next
// SharedEnvironment creates a new one.
bool ReleaseEnvironment();

// The names of the installed ODBC drivers (SQLDrivers).
std::vector<Text> InstalledDrivers();

}  // namespace wq::db::odbc
