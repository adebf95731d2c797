#include "platform/db/sqlite/rows_recordset.h"

#include <limits>

#include "platform/error.h"

namespace wq::db::sqlite {
namespace {

// Past this many names asked for, look-ups are no longer remembered.
constexpr size_t kRememberedNames = 16;

// A result of Connection::Execute: every row is read when it opens, and nothing can be changed.
class QueryResult final : public RowsRecordset {
 public:
  QueryResult(std::shared_ptr<Database> db, Statement& statement) : RowsRecordset(std::move(db)) {
    const int columns = statement.column_count();
    for (int i = 0; i < columns; ++i) columns_.push_back(statement.ColumnName(i));
    rows_.Start(statement, 0);
    while (statement.Step()) rows_.Append(statement);
  }

  void AddNew() override { RaiseReadOnly(); }
  void SetField(TextView, const Value&) override { RaiseReadOnly(); }
  void Update() override { RaiseReadOnly(); }

 private:
  void RaiseReadOnly() {
    CheckOpen();
    throw Error::InvalidProcedureCall(
        "the result of Execute is read-only; open a keyset result to add rows");
  }
};

}  // namespace

void RowsRecordset::CheckOpen() const {
  if (closed_ || !db_->is_open()) RaiseClosed();
}

void RowsRecordset::RaiseNoCurrentRecord() {
  throw Error(kNoCurrentRecord,
              "No current record: the position is past the last row, or there are no rows");
}

size_t RowsRecordset::FindColumn(TextView name) const {
  for (const auto& [asked, column] : found_) {
    if (asked == name) return column;
  }
  for (size_t i = 0; i < columns_.size(); ++i) {
    if (EqualsIgnoreCase(columns_[i], name)) {
      if (found_.size() < kRememberedNames) found_.emplace_back(Text(name), i);
      return i;
    }
  }
  throw Error(kItemNotFound,
              "Item cannot be found in the collection: no column named '" + ToUtf8(name) + "'");
}

Value RowsRecordset::ValueOf(Cell cell, size_t column) const {
  if (cell.binary) {
    throw Error::TypeMismatch("column '" + ToUtf8(columns_[column]) +
                              "' holds binary data, which is not read as a value");
  }
  return std::move(cell.value);
}

bool RowsRecordset::Eof() {
  CheckOpen();
  return position_ >= rows_.size();
}

Value RowsRecordset::Field(TextView name) {
  CheckOpen();
  const size_t column = FindColumn(name);
  if (position_ >= rows_.size()) RaiseNoCurrentRecord();
  return ValueOf(rows_.Get(position_, column), column);
}

void RowsRecordset::MoveNext() {
  CheckOpen();
  if (position_ >= rows_.size()) RaiseNoCurrentRecord();
  ++position_;
}

int32_t RowsRecordset::RecordCount() {
  CheckOpen();
  if (rows_.size() > static_cast<size_t>(std::numeric_limits<int32_t>::max())) {
    throw Error::Overflow("the result has more rows than a record count can hold");
  }
  return static_cast<int32_t>(rows_.size());
}

void RowsRecordset::Close() {
  closed_ = true;
  rows_.Clear();
}

std::unique_ptr<Recordset> ReadQueryResult(std::shared_ptr<Database> db, Statement& statement) {
  return std::make_unique<QueryResult>(std::move(db), statement);
}

}  // namespace wq::db::sqlite
