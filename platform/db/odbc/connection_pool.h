// The engine's own idle connections, kept for the next open with the same connection string.
// Only handles this engine allocated ever enter it, so no other ODBC user in the process is
// affected (the driver manager's process-wide pooling stays as the host set it).
//
// Rules: at most kPerKey idle connections per connection string and kTotal in all; one idle
// longer than kIdleSeconds is closed at the next visit to the pool; one the driver reports dead
// (SQL_ATTR_CONNECTION_DEAD) is closed rather than handed out. A handed-out connection may still
// have died unnoticed (server restart): Session replaces it once if its first statement finds it
// lost, and then calls DropAll, since the others of that string are likely dead too.
#pragma once

#include <chrono>
#include <cstddef>

#include "platform/db/odbc/odbc_api.h"

namespace wq::db::odbc::pool {

inline constexpr size_t kPerKey = 4;
inline constexpr size_t kTotal = 16;
inline constexpr std::chrono::seconds kIdleSeconds{60};

// An idle connection for this key, or SQL_NULL_HDBC.
SQLHDBC Take(const Text& key);
// Hands back a connected handle; it is closed and freed instead when it is dead or the pool is
// full. The pool owns the handle afterwards.
void Give(const Text& key, SQLHDBC dbc);
// Closes every idle connection of this key.
void DropAll(const Text& key);
// How many idle connections the pool holds (for tests).
size_t IdleCount();

// Disconnects and frees a handle.
void Discard(SQLHDBC dbc);

}  // namespace wq::db::odbc::pool
