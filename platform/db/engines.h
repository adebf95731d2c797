// The database engines behind Connection::Open. Each takes the parsed connection string of its
// provider and returns an open connection or raises wq::Error; none may put a password into an
// error description.
#pragma once

#include <memory>

#include "platform/db/connection.h"
#include "platform/db/connection_string.h"

namespace wq::db {

// Provider=SQLite;Data Source=PATH (platform/db/sqlite).
std::unique_ptr<Connection> OpenSqlite(const ConnectionString& cs);

}  // namespace wq::db
