// The engine's own idle connections, kept for the next open with the same connection string.
// Only handles this engine allocated ever enter it, so no other ODBC user in the process is
// affected (the driver manager's process-wide pooling stays as the host set it).
//
// Rules: at most kPerKey idle connections per connection string and kTotal in all. One idle
// longer than the idle limit (IdleLimit(), 60 s unless set) is closed on time by a reaper thread
// that runs only while the pool holds idle connections; one the driver reports dead
// (SQL_ATTR_CONNECTION_DEAD) is closed rather than handed out. A handed-out connection may still
// have died unnoticed (server restart): Session replaces it once if its first statement finds it
// lost, and then calls DropAll, since the others of that string are likely dead too.
//
// A thread that already holds a connection of a key and opens another of the same key shares the
// one it holds (the update's own connection serves its writer too): the engine reads every result
// whole, so no statement stays active on a connection between calls, and one workstation holds
// one server connection instead of two.
#pragma once

#include <chrono>
#include <cstddef>

#include "platform/db/odbc/odbc_api.h"

namespace wq::db::odbc::pool {

inline constexpr size_t kPerKey = 4;
inline constexpr size_t kTotal = 16;
inline constexpr std::chrono::milliseconds kDefaultIdleLimit{60000};

// The connection this thread already holds for this key (shared), else an idle one, else
// SQL_NULL_HDBC. A handle returned here is held by this thread until Give or Abandon.
SQLHDBC Take(const Text& key);
// Records a freshly connected handle as held by this thread, so that later Takes share it.
void Hold(const Text& key, SQLHDBC dbc);
// Releases one hold; at the last one the handle becomes idle, or is closed and freed when it is
// dead or the pool is full. The pool owns the handle afterwards.
void Give(const Text& key, SQLHDBC dbc);
// Releases one hold on a handle found dead; at the last one it is closed and freed.
void Abandon(const Text& key, SQLHDBC dbc);
// Closes every idle connection of this key.
void DropAll(const Text& key);
// How many idle connections the pool holds (for tests).
size_t IdleCount();
// How many handles threads hold now.
size_t HeldCount();

// How long a connection may stay idle. Setting it takes effect for the connections already idle.
std::chrono::milliseconds IdleLimit();
void SetIdleLimit(std::chrono::milliseconds limit);

// Closes every idle connection and stops the reaper; the pool starts again at the next Give.
void Shutdown();

// Disconnects and frees a handle.
void Discard(SQLHDBC dbc);

}  // namespace wq::db::odbc::pool
