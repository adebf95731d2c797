// What the shared-server engine keeps between calls: idle connections to the servers and the
// driver manager's environment.
#pragma once

#include <chrono>

namespace wq::db {

// How long a server connection may wait idle for reuse before it is closed (60 s unless set).
// It is closed on time, whether or not another call comes.
void SetIdleConnectionLimit(std::chrono::milliseconds limit);
std::chrono::milliseconds IdleConnectionLimit();

// Closes every idle server connection and, when no connection is open any more, frees the
// driver manager's environment. For a module about to be unloaded; a later call starts afresh.
void ReleaseIdleConnections();

}  // namespace wq::db
