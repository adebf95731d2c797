// The SQLite handle and prepared statements behind the SQLite connection and its result sets.
#pragma once

#include <sqlite3.h>

#include <string>
#include <vector>

#include "platform/db/value.h"
#include "platform/text/text.h"

namespace wq::db::sqlite {

// Raises wq::DatabaseError with SQLite's extended result code and message for the last failure
// on db.
[[noreturn]] void RaiseEngineError(sqlite3* db);
// Raises wq::Error kObjectClosed.
[[noreturn]] void RaiseClosed();

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

 private:
  [[noreturn]] void FailOpen(const std::string& path, int rc);

  sqlite3* db_ = nullptr;
};

// A column value as read: a Value, or binary data, which this layer does not hand over.
struct Cell {
  Value value;
  bool binary = false;
};
using Row = std::vector<Cell>;

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

 private:
  enum class Kind { kPlain, kDeclaredDate, kUntyped };
  sqlite3* db_;
  sqlite3_stmt* stmt_ = nullptr;
  std::vector<Kind> kinds_;
};

// Writes an SQL identifier between double quotes, doubling any double quote inside it.
std::string QuoteIdentifier(TextView name);

}  // namespace wq::db::sqlite
