// Rows held in memory as SQLite hands them over: each value's type and its number or UTF-8
// bytes, the bytes of all texts in one buffer. A value becomes a Value only when it is asked
// for, so the columns nobody reads cost a copy of their bytes and no conversion.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/db/sqlite/database.h"

namespace wq::db::sqlite {

class RowStore {
 public:
  // Empties the store and takes the column kinds of statement's columns from `first` on.
  void Start(const Statement& statement, int first);
  // Adds the statement's current row (its columns from `first` on, as given to Start).
  void Append(const Statement& statement);
  size_t size() const { return columns_ == 0 ? 0 : cells_.size() / columns_; }
  // The value at that row and column.
  Cell Get(size_t row, size_t column) const;
  void Clear();

 private:
  struct Raw {
    union {
      int64_t integer;
      double real;
      uint64_t offset;  // of a text's bytes in bytes_
    };
    uint32_t size;  // of a text's bytes
    uint8_t type;   // SQLITE_INTEGER, SQLITE_FLOAT, SQLITE_TEXT, SQLITE_BLOB or SQLITE_NULL
  };

  int first_ = 0;
  size_t columns_ = 0;
  std::vector<ColumnKind> kinds_;
  std::vector<Raw> cells_;
  std::string bytes_;
};

}  // namespace wq::db::sqlite
