#include "platform/db/idle_connections.h"

#include "platform/db/odbc/connection_pool.h"
#include "platform/db/odbc/environment.h"

namespace wq::db {

void SetIdleConnectionLimit(std::chrono::milliseconds limit) { odbc::pool::SetIdleLimit(limit); }

std::chrono::milliseconds IdleConnectionLimit() { return odbc::pool::IdleLimit(); }

void ReleaseIdleConnections() {
  odbc::pool::Shutdown();
  odbc::ReleaseEnvironment();
}

}  // namespace wq::db
