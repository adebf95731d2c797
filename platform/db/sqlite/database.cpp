#include "platform/db/sqlite/database.h"

#include <cstring>

#include "platform/db/sqlite/date_time_text.h"
#include "platform/error.h"

namespace wq::db::sqlite {
namespace {

// Lets several processes share one file: a connection that finds the file locked waits this
// long for the lock before it reports SQLITE_BUSY.
constexpr int kBusyTimeoutMs = 10000;

// GETDATE(): the local date and time as text "YYYY-MM-DD HH:MM:SS", which sorts and compares
// correctly as text and which result sets hand over as a DateTime.
void GetDate(sqlite3_context* context, int, sqlite3_value**) {
  const std::string text = FormatDateTime(LocalNow());
  sqlite3_result_text(context, text.c_str(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

}  // namespace

void RaiseEngineError(sqlite3* db) {
  throw DatabaseError(sqlite3_extended_errcode(db), "", sqlite3_errmsg(db));
}

void RaiseClosed() {
  throw Error(kObjectClosed, "Operation is not allowed when the object is closed");
}

Database::Database(const std::string& path) {
  const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_EXRESCODE;
  const int rc = sqlite3_open_v2(path.c_str(), &db_, flags, nullptr);
  if (rc != SQLITE_OK) FailOpen(path, rc);
  sqlite3_extended_result_codes(db_, 1);
  sqlite3_busy_timeout(db_, kBusyTimeoutMs);
  sqlite3_create_function_v2(db_, "GETDATE", 0, SQLITE_UTF8 | SQLITE_INNOCUOUS, nullptr, GetDate,
                             nullptr, nullptr, nullptr);
  // Write-ahead logging lets readers and one writer work at the same time, so workstations
  // reading the table do not hold up the one adding a row, nor it them. The mode is kept in the
  // file. It cannot be set on a read-only file or while another connection holds the file
  // locked; the connection then goes on in the file's current mode. (It needs every process on
  // one machine, which a shared SQLite file needs anyway: locks do not work over network shares.)
  // The statement also reads the file's header, so a file that is no database is reported
  // here, not at the first query.
  // The statement answers with the mode the file is in afterwards.
  sqlite3_stmt* pragma = nullptr;
  int mode_rc = sqlite3_prepare_v2(db_, "PRAGMA journal_mode=WAL", -1, &pragma, nullptr);
  if (mode_rc == SQLITE_OK) {
    mode_rc = sqlite3_step(pragma);
    if (mode_rc == SQLITE_ROW) {
      const unsigned char* mode = sqlite3_column_text(pragma, 0);
      wal_ = mode != nullptr && sqlite3_stricmp(reinterpret_cast<const char*>(mode), "wal") == 0;
      mode_rc = SQLITE_OK;
    }
  }
  sqlite3_finalize(pragma);
  const int primary = mode_rc & 0xFF;
  if (mode_rc != SQLITE_OK && mode_rc != SQLITE_DONE && primary != SQLITE_BUSY &&
      primary != SQLITE_LOCKED && primary != SQLITE_READONLY) {
    FailOpen(path, mode_rc);
  }
}

void Database::FailOpen(const std::string& path, int rc) {
  const std::string message = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
  const int code = db_ ? sqlite3_extended_errcode(db_) : rc;
  Close();
  throw DatabaseError(code, "",
                      "Cannot open the database: SQLite cannot open '" + path + "': " + message);
}

Database::~Database() { Close(); }

sqlite3* Database::get() const {
  if (!db_) RaiseClosed();
  return db_;
}

void Database::Close() {
  if (db_) sqlite3_close_v2(db_);
  db_ = nullptr;
}

std::string QuoteIdentifier(TextView name) {
  std::string out = "\"";
  for (char c : ToUtf8(name)) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
  return out;
}

}  // namespace wq::db::sqlite
