// One ODBC statement: bound parameters, execution with a query timeout (a deadlock victim is run
// once more), and reading its result. Callers read a result completely and close the cursor at
// once (Finish), so a connection never stays busy with a half-read result (SQL Server allows one
// per connection).
#pragma once

#include <memory>
#include <vector>

#include "platform/db/odbc/session.h"
#include "platform/db/value.h"

namespace wq::db::odbc {

struct Column {
  Text name;
  SQLSMALLINT type = 0;    // SQL data type as SQLDescribeCol reports it
  SQLSMALLINT digits = 0;  // decimal digits
};

struct ResultData {
  std::vector<Column> columns;
  std::vector<std::vector<Value>> rows;
};

// The column of that name, ignoring letter case; -1 when there is none.
int FindColumn(const std::vector<Column>& columns, TextView name);

class Statement {
 public:
  explicit Statement(Session& session);
  ~Statement();
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  // Runs sql with '?' bound to params. Returns true when it produced a result set.
  bool Execute(const Text& sql, const std::vector<Value>& params);
  // The result's columns (after Execute returned true).
  std::vector<Column> Describe();
  // Every row of the current result, then the remaining results drained so that their errors
  // surface.
  ResultData ReadAll();
  // Moves to the next row of the current result: false past the last.
  bool Fetch();
  // The current row's value of a column (0-based), read in ascending column order. With
  // maxUnits, a text longer than that many UTF-16 units is left unread: null, *tooLong set.
  Value Get(int index, const Column& column, size_t maxUnits = 0, bool* tooLong = nullptr);
  // The same into a value; a text value keeps its storage, so a row read again and again
  // allocates nothing.
  void GetInto(int index, const Column& column, Value& into, size_t maxUnits = 0,
               bool* tooLong = nullptr);
  // Drains the remaining results of a statement that produced none.
  void Finish();

 private:
  struct Parameter;
  void Bind(const std::vector<Value>& params);
  void Check(SQLRETURN rc, const char* action);

  Session& session_;
  SQLHSTMT stmt_ = SQL_NULL_HSTMT;
  std::vector<Parameter> parameters_;
};

}  // namespace wq::db::odbc
