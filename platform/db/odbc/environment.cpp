#include "platform/db/odbc/environment.h"

#include <atomic>
#include <mutex>

#include "platform/db/odbc/diagnostics.h"

namespace wq::db::odbc {
namespace {

SQLHENV CreateEnvironment() {
  // The driver manager's process-wide pooling (SQL_ATTR_CONNECTION_POOLING on the null
  // environment) is the host's to set, never ours: the engine pools its own connections.
  SQLHENV env = SQL_NULL_HENV;
  SQLRETURN rc = SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
  if (!Succeeded(rc)) {
    throw Error::Database(kProviderError, "IM004",
                          "ODBC: the driver manager could not allocate an environment");
  }
  Secrets none;
  Check(SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION,
                      reinterpret_cast<SQLPOINTER>(static_cast<uintptr_t>(SQL_OV_ODBC3)), 0),
        SQL_HANDLE_ENV, env, "ODBC: setting the ODBC version", none);
  // Where the host (or unixODBC's odbcinst.ini) turned the driver manager's pool on, a pooled
  // connection serves any request of ours for the same connection string.
  SQLSetEnvAttr(env, SQL_ATTR_CP_MATCH,
                reinterpret_cast<SQLPOINTER>(static_cast<uintptr_t>(SQL_CP_RELAXED_MATCH)), 0);
  return env;
}

// The environment, created by the first caller on any thread (a failure is tried again next
// time), and the connection handles allocated on it and not yet freed.
std::mutex environment_mutex;
SQLHENV environment = SQL_NULL_HENV;
std::atomic<long> connections{0};

}  // namespace

SQLHENV SharedEnvironment() {
  std::lock_guard lock(environment_mutex);
  if (environment == SQL_NULL_HENV) environment = CreateEnvironment();
  return environment;
}

void ConnectionAllocated() { ++connections; }
void ConnectionFreed() { --connections; }

bool ReleaseEnvironment() {
  std::lock_guard lock(environment_mutex);
  if (environment == SQL_NULL_HENV) return true;
  if (connections.load() != 0) return false;
  SQLFreeHandle(SQL_HANDLE_ENV, environment);
  environment = SQL_NULL_HENV;
  return true;
}

std::vector<Text> InstalledDrivers() {
  SQLHENV env = SharedEnvironment();
  std::vector<Text> names;
  SQLUSMALLINT direction = SQL_FETCH_FIRST;
  for (;;) {
    SQLWCHAR name[256];
    SQLWCHAR attributes[1024];
    SQLSMALLINT name_length = 0, attributes_length = 0;
    SQLRETURN rc = SQLDriversW(env, direction, name, static_cast<SQLSMALLINT>(std::size(name)),
                               &name_length, attributes,
                               static_cast<SQLSMALLINT>(std::size(attributes)), &attributes_length);
    if (!Succeeded(rc)) break;
    size_t units = std::min<size_t>(name_length < 0 ? 0 : name_length, std::size(name) - 1);
    names.push_back(FromW(name, units));
    direction = SQL_FETCH_NEXT;
  }
  return names;
}

}  // namespace wq::db::odbc
