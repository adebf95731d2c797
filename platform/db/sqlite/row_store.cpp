#include "platform/db/sqlite/row_store.h"

#include <limits>

#include "platform/error.h"

namespace wq::db::sqlite {

void RowStore::Start(const Statement& statement, int first) {
  Clear();
  first_ = first;
  columns_ = static_cast<size_t>(statement.column_count() - first);
  kinds_.clear();
  for (int i = first; i < statement.column_count(); ++i) kinds_.push_back(statement.kind(i));
}

void RowStore::Append(const Statement& statement) {
  for (size_t c = 0; c < columns_; ++c) {
    const int i = first_ + static_cast<int>(c);
    Raw raw{};
    raw.type = static_cast<uint8_t>(statement.ColumnType(i));
    switch (raw.type) {
      case SQLITE_INTEGER:
        raw.integer = statement.ColumnInteger(i);
        break;
      case SQLITE_FLOAT:
        raw.real = statement.ColumnReal(i);
        break;
      case SQLITE_TEXT: {
        const std::string_view text = statement.ColumnText(i);
        // SQLite's own limit on a value's length keeps a text well below 4 GiB.
        if (text.size() > std::numeric_limits<uint32_t>::max()) {
          throw Error::Overflow("a text value is too long to be held");
        }
        raw.offset = bytes_.size();
        raw.size = static_cast<uint32_t>(text.size());
        bytes_.append(text);
        break;
      }
      default:
        break;  // null, and binary data, which is never handed over
    }
    cells_.push_back(raw);
  }
}

Cell RowStore::Get(size_t row, size_t column) const {
  const Raw& raw = cells_[row * columns_ + column];
  switch (raw.type) {
    case SQLITE_INTEGER:
      return {Value(raw.integer)};
    case SQLITE_FLOAT:
      return {Value(raw.real)};
    case SQLITE_TEXT:
      return {TextValue(std::string_view(bytes_).substr(raw.offset, raw.size), kinds_[column])};
    case SQLITE_BLOB:
      return {Value(), true};
    default:
      return {Value()};
  }
}

void RowStore::Clear() {
  cells_.clear();
  cells_.shrink_to_fit();
  bytes_.clear();
  bytes_.shrink_to_fit();
}

}  // namespace wq::db::sqlite
