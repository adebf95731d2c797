// What the SQLite result sets share: rows held in memory, a position, column look-up by name and
// the closed state of the result set and of its connection.
#pragma once

#include <memory>
#include <utility>
#include <vector>

#include "platform/db/connection.h"
#include "platform/db/sqlite/database.h"
#include "platform/db/sqlite/row_store.h"

namespace wq::db::sqlite {

class RowsRecordset : public Recordset {
 public:
  bool Eof() override;
  Value Field(TextView name) override;
  void MoveNext() override;
  int32_t RecordCount() override;
  void Close() override;

 protected:
  explicit RowsRecordset(std::shared_ptr<Database> db) : db_(std::move(db)) {}

  // Raises kObjectClosed when this result set or its connection is closed.
  void CheckOpen() const;
  // The index of the column of that name, ignoring case; kItemNotFound if none.
  size_t FindColumn(TextView name) const;
  // The value of a cell of column `column`; raises type mismatch for binary data.
  Value ValueOf(Cell cell, size_t column) const;
  [[noreturn]] static void RaiseNoCurrentRecord();

  std::shared_ptr<Database> db_;
  std::vector<Text> columns_;
  RowStore rows_;
  size_t position_ = 0;
  bool closed_ = false;

 private:
  // Names asked for before, as given, with their column: callers ask for the same few names
  // row after row, and an exact match is cheaper than comparing ignoring case.
  mutable std::vector<std::pair<Text, size_t>> found_;
};

// Takes every row of a statement that has not been stepped yet into a read-only result set.
// Reading them at once ends the statement, so no lock on the file outlives the call.
std::unique_ptr<Recordset> ReadQueryResult(std::shared_ptr<Database> db, Statement& statement);

// The updatable result set of Connection::OpenKeyset.
std::unique_ptr<Recordset> OpenKeysetResult(std::shared_ptr<Database> db, TextView sql,
                                            const std::vector<Value>& params);

}  // namespace wq::db::sqlite
