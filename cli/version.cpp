#include "cli/version.h"

#ifdef _WIN32
#include <windows.h>  // before sql.h; the Windows build reaches SQLite through ODBC only
#else
#include <sqlite3.h>
#endif
// after windows.h
#include <sql.h>
#include <sqlext.h>

namespace wq::cli {
namespace {

// unixODBC answers its own release on an environment; any driver manager answers SQL_DM_VER
// ("03.52.0002.0003": the ODBC version it implements, then its own) on a connection handle.
std::string DriverManagerVersion() {
  SQLHENV env = SQL_NULL_HENV;
  if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env))) return "unavailable";
  std::string version = "unavailable";
  SQLCHAR text[64] = {};
#ifdef SQL_ATTR_UNIXODBC_VERSION
  SQLINTEGER length = 0;
  if (SQL_SUCCEEDED(
          SQLGetEnvAttr(env, SQL_ATTR_UNIXODBC_VERSION, text, sizeof text - 1, &length)) &&
      text[0] != '\0') {
    version = "unixODBC " + std::string(reinterpret_cast<const char*>(text));
  }
#endif
  if (version == "unavailable") {
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLHDBC dbc = SQL_NULL_HDBC;
    if (SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc))) {
      SQLSMALLINT size = 0;
      if (SQL_SUCCEEDED(SQLGetInfo(dbc, SQL_DM_VER, text, sizeof text - 1, &size))) {
        version = "SQL_DM_VER " + std::string(reinterpret_cast<const char*>(text));
      }
      SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    }
  }
  SQLFreeHandle(SQL_HANDLE_ENV, env);
  return version;
}

}  // namespace

std::string VersionText() {
#ifdef _WIN32
  const std::string sqlite = "through its ODBC driver";
#else
  const std::string sqlite = sqlite3_libversion();
#endif
  return "webquorrel " WEBQUORREL_VERSION "\nSQLite " + sqlite +
         "\nODBC driver manager: " + DriverManagerVersion();
}

}  // namespace wq::cli
