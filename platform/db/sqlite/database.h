// The SQLite handle and prepared statements behind the SQLite connection and its result sets.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/db/value.h"
#include "platform/text/text.h"

namespace wq::db::sqlite {

// Raises wq::DatabaseError with SQLite's extended result code and message for the last failure
// on db.
[[noreturn]] void RaiseEngineError(sqlite3* db);
// Raises wq::Error kObjectClosed.
[[noreturn]] void RaiseClosed();

// A result set that reads its rows from a statement still running on the connection. It takes
// in the rest of its rows before anything else runs there (see Database::FinishPendingRead).
class PendingRead {
 public:
  virtual void FinishReading() = 0;

 protected:
  ~PendingRead() = default;
};

// One open database file, shared by a connection and every result set it opened, so that a
// result set that outlives its connection finds it closed rather than dangling.
class Database {
 public:
  // Opens (creating it if need be) the database file at path, UTF-8.
  explicit Database(const std::string& path);
  ~Database();
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  bool is_open() const { return db_ != nullptr; }
  // The handle; raises kObjectClosed once closed.
  sqlite3* get() const;
  // Closes the file. Statements still prepared on it keep the handle alive, unusable, until
  // they are finalized.
  void Close();

  // Whether the file is in write-ahead-log mode (as found when it opened): a running read then
  // holds up no writer on another connection.
  bool wal() const { return wal_; }

  // At most one result set per connection reads from a running statement. It registers here,
  // and anything else about to run a statement on the connection first calls
  // FinishPendingRead, which has it read the rest of its rows and end its statement: so every
  // other statement sees the file as it is now, and a write never meets an older snapshot.
  void set_pending_read(PendingRead* reader) { pending_ = reader; }
  void clear_pending_read(PendingRead* reader) {
    if (pending_ == reader) pending_ = nullptr;
  }
  void FinishPendingRead() {
    if (pending_ != nullptr) pending_->FinishReading();
  }

 private:
  [[noreturn]] void FailOpen(const std::string& path, int rc);

  sqlite3* db_ = nullptr;
  bool wal_ = false;
  PendingRead* pending_ = nullptr;
};

// A column value as read: a Value, or binary data, which this layer does not hand over.
struct Cell {
  Value value;
  bool binary = false;
};

// How a column's text values are read (see the date rule in statement.cpp).
enum class ColumnKind : uint8_t { kPlain, kDeclaredDate, kUntyped };

// The Value of a text value of a column of that kind.
Value TextValue(std::string_view utf8, ColumnKind kind);

// One prepared statement.
class Statement {
 public:
  // Prepares the statement that sql holds. Raises when it holds none or more than one (a second
  // statement after ';' is refused rather than ignored or run), or holds a NUL character.
  Statement(sqlite3* db, TextView sql);
  ~Statement();
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  // Binds one value to each '?' marker, in order. The number of values must match.
  void Bind(const std::vector<Value>& params);
  // Runs to the next row: true on a row, false when done.
  bool Step();
  // Back to before the first row, keeping the bound values.
  void Reset() { sqlite3_reset(stmt_); }

  int column_count() const { return static_cast<int>(kinds_.size()); }
  Text ColumnName(int i) const;
  // The current row's value of column i (see the date rule in statement.cpp).
  Cell Column(int i) const;
  bool read_only() const { return sqlite3_stmt_readonly(stmt_) != 0; }

  // The current row's value of column i as SQLite holds it, for RowStore.
  ColumnKind kind(int i) const { return kinds_[i]; }
  int ColumnType(int i) const { return sqlite3_column_type(stmt_, i); }
  int64_t ColumnInteger(int i) const { return sqlite3_column_int64(stmt_, i); }
  double ColumnReal(int i) const { return sqlite3_column_double(stmt_, i); }
  std::string_view ColumnText(int i) const {
    const char* data = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, i));
    return data ? std::string_view(data, sqlite3_column_bytes(stmt_, i)) : std::string_view();
  }

 private:
  sqlite3* db_;
  sqlite3_stmt* stmt_ = nullptr;
  std::vector<ColumnKind> kinds_;
};

// Writes an SQL identifier between double quotes, doubling any double quote inside it.
std::string QuoteIdentifier(TextView name);

}  // namespace wq::db::sqlite
