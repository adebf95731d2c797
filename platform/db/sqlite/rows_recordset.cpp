#include "platform/db/sqlite/rows_recordset.h"

#include <limits>

#include "platform/error.h"

namespace wq::db::sqlite {
namespace {

[[noreturn]] void RaiseNoCurrentRecord() {
  throw Error(kNoCurrentRecord,
              "No current record: the position is past the last row, or there are no rows");
}

// A result of Connection::Execute: every row is read when it opens, and nothing can be changed.
class QueryResult final : public RowsRecordset {
 public:
  QueryResult(std::shared_ptr<Database> db, Statement& statement) : RowsRecordset(std::move(db)) {
    const int columns = statement.column_count();
    for (int i = 0; i < columns; ++i) columns_.push_back(statement.ColumnName(i));
    while (statement.Step()) {
      Row row;
      row.reserve(columns);
      for (int i = 0; i < columns; ++i) row.push_back(statement.Column(i));
      rows_.push_back(std::move(row));
    }
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

size_t RowsRecordset::FindColumn(TextView name) const {
  for (size_t i = 0; i < columns_.size(); ++i) {
    if (EqualsIgnoreCase(columns_[i], name)) return i;
  }
  throw Error(kItemNotFound,
              "Item cannot be found in the collection: no column named '" + ToUtf8(name) + "'");
}

bool RowsRecordset::Eof() {
  CheckOpen();
  EnsureRows();
  return position_ >= rows_.size();
}

Value RowsRecordset::Field(TextView name) {
  CheckOpen();
  const size_t column = FindColumn(name);
  EnsureRows();
  if (position_ >= rows_.size()) RaiseNoCurrentRecord();
  const Cell& cell = rows_[position_][column];
  if (cell.binary) {
    throw Error::TypeMismatch("column '" + ToUtf8(columns_[column]) +
                              "' holds binary data, which is not read as a value");
  }
  return cell.value;
}

void RowsRecordset::MoveNext() {
  CheckOpen();
  EnsureRows();
  if (position_ >= rows_.size()) RaiseNoCurrentRecord();
  ++position_;
}

int32_t RowsRecordset::RecordCount() {
  CheckOpen();
  EnsureRows();
  if (rows_.size() > static_cast<size_t>(std::numeric_limits<int32_t>::max())) {
    throw Error::Overflow("the result has more rows than a record count can hold");
  }
  return static_cast<int32_t>(rows_.size());
}

void RowsRecordset::Close() {
  closed_ = true;
  rows_.clear();
  rows_.shrink_to_fit();
}

std::unique_ptr<Recordset> ReadQueryResult(std::shared_ptr<Database> db, Statement& statement) {
  return std::make_unique<QueryResult>(std::move(db), statement);
}

}  // namespace wq::db::sqlite
