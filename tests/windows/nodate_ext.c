/* A SQLite extension for the test of a server clock that reads no date through the SQLite ODBC
 * driver (loaded with LoadExt=...): it replaces SQLite's strftime(), which the component asks
 * for the local time there, with one that returns the text NODATE_TEXT.
 *
 * It uses no C library at all: it builds for either bitness with the host compiler alone
 * (-m32 -nostdlib), without a 32-bit C library. */
#include <sqlite3ext.h>
SQLITE_EXTENSION_INIT1

#ifndef NODATE_TEXT
#define NODATE_TEXT "soon"
#endif

static void nodate(sqlite3_context* context, int argc, sqlite3_value** argv) {
  (void)argc;
  (void)argv;
  sqlite3_result_text(context, NODATE_TEXT, -1, SQLITE_STATIC);
}

__attribute__((visibility("default"))) int sqlite3_extension_init(sqlite3* db, char** error,
                                                                  const sqlite3_api_routines* api) {
  SQLITE_EXTENSION_INIT2(api);
  (void)error;
  return sqlite3_create_function(db, "strftime", -1, SQLITE_UTF8, 0, nodate, 0, 0);
}
