/* A SQLite extension that gives SQLite the T-SQL function GETDATE(): the local date and time as
 * "YYYY-MM-DD HH:MM:SS". The SQLite ODBC driver loads it with LoadExt=... so that the component's
 * "SELECT GETDATE() AS SystemDateTime" runs on SQLite as on SQL Server.
 *
 * It asks SQLite itself for the time and so uses no C library at all: it builds for either
 * bitness with the host compiler alone (-m32 -nostdlib), without a 32-bit C library.
 *
 * Built with -DGETDATE_FIXED_TEXT='"..."', GETDATE() returns that text instead: a server clock
 * that reads no date. */
#include <sqlite3ext.h>
SQLITE_EXTENSION_INIT1

static void getdate(sqlite3_context* context, int argc, sqlite3_value** argv) {
  sqlite3_stmt* statement = 0;
  (void)argc;
  (void)argv;
#ifdef GETDATE_FIXED_TEXT
  sqlite3_result_text(context, GETDATE_FIXED_TEXT, -1, SQLITE_STATIC);
  return;
#endif
  if (sqlite3_prepare_v2(sqlite3_context_db_handle(context), "SELECT datetime('now', 'localtime')",
                         -1, &statement, 0) != SQLITE_OK) {
    sqlite3_result_error(context, "GETDATE: cannot read the clock", -1);
    return;
  }
  if (sqlite3_step(statement) == SQLITE_ROW) {
    sqlite3_result_text(context, (const char*)sqlite3_column_text(statement, 0), -1,
                        SQLITE_TRANSIENT);
  } else {
    sqlite3_result_error(context, "GETDATE: cannot read the clock", -1);
  }
  sqlite3_finalize(statement);
}

__attribute__((visibility("default"))) int sqlite3_extension_init(sqlite3* db, char** error,
                                                                  const sqlite3_api_routines* api) {
  SQLITE_EXTENSION_INIT2(api);
  (void)error;
  return sqlite3_create_function(db, "GETDATE", 0, SQLITE_UTF8, 0, getdate, 0, 0);
}
