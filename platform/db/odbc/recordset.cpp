#include "platform/db/odbc/recordset.h"

#include <cstdint>

#include "platform/db/odbc/keyset_sql.h"

namespace wq::db::odbc {
namespace {

// Whether the word appears anywhere in sql, in any letter case (quoted text included, which
// only errs towards reading the rows).
bool Mentions(const Text& sql, TextView upperWord) {
  for (size_t i = 0; i + upperWord.size() <= sql.size(); ++i) {
    size_t k = 0;
    while (k < upperWord.size() && (sql[i + k] & ~0x20) == upperWord[k]) ++k;
    if (k == upperWord.size()) return true;
  }
  return false;
}

}  // namespace

std::unique_ptr<OdbcRecordset> OdbcRecordset::ReadOnly(std::shared_ptr<Session> session,
                                                       ResultData data) {
  std::unique_ptr<OdbcRecordset> rs(new OdbcRecordset(std::move(session)));
  rs->data_ = std::move(data);
  return rs;
}

std::unique_ptr<OdbcRecordset> OdbcRecordset::Keyset(std::shared_ptr<Session> session, Text sql,
                                                     std::vector<Value> params, Text table) {
  std::unique_ptr<OdbcRecordset> rs(new OdbcRecordset(std::move(session)));
  rs->sql_ = std::move(sql);
  rs->params_ = std::move(params);
  rs->table_ = std::move(table);
  return rs;
}

void OdbcRecordset::RequireOpen() const {
  if (closed_) throw Error(kObjectClosed, "Operation is not allowed when the object is closed");
  session_->dbc();  // raises kObjectClosed once the connection is closed
}

void OdbcRecordset::RequireUpdatable() const {
  RequireOpen();
  if (table_.empty()) {
    throw Error::InvalidProcedureCall("the result of Execute is read-only; use a keyset result");
  }
}

const ResultData& OdbcRecordset::Rows() {
  RequireOpen();
  if (!data_) {
    data_ = session_->Run([&] {
      Statement statement(*session_);
      if (!statement.Execute(sql_, params_)) {
        throw Error::InvalidProcedureCall("the keyset query returned no result");
      }
      return statement.ReadAll();
    });
  }
  return *data_;
}

const std::vector<Column>& OdbcRecordset::TableColumns() {
  if (!table_columns_) {
    if (data_) {
      table_columns_ = data_->columns;  // SELECT * gave the table's columns already
    } else {
      table_columns_ = session_->Run([&] {
        Statement statement(*session_);
        if (!statement.Execute(DescribeSql(table_), {})) {
          throw Error::InvalidProcedureCall("the table's columns could not be read");
        }
        std::vector<Column> columns = statement.Describe();
        statement.Finish();
        return columns;
      });
    }
  }
  return *table_columns_;
}

bool OdbcRecordset::Eof() {
  if (adding_) {
    RequireOpen();
    return false;  // the row being added is the current row
  }
  return position_ >= Rows().rows.size();
}

Value OdbcRecordset::Field(TextView name) {
  RequireOpen();
  if (adding_) {
    int index = FindColumn(*table_columns_, name);
    if (index < 0)
      throw Error(kItemNotFound, "Item cannot be found in the collection: " + ToUtf8(name));
    for (const auto& [column, value] : new_row_) {
      if (column == static_cast<size_t>(index)) return value;
    }
    return Null{};
  }
  const ResultData& data = Rows();
  int index = FindColumn(data.columns, name);
  if (index < 0)
    throw Error(kItemNotFound, "Item cannot be found in the collection: " + ToUtf8(name));
  if (position_ >= data.rows.size()) {
    throw Error(kNoCurrentRecord,
                "Either BOF or EOF is True, or the current record has been deleted");
  }
  return data.rows[position_][index];
}

void OdbcRecordset::MoveNext() {
  if (adding_) {
    RequireOpen();
    throw Error::InvalidProcedureCall("MoveNext while a new row is pending: Update it first");
  }
  if (position_ >= Rows().rows.size()) {
    throw Error(kNoCurrentRecord,
                "Either BOF or EOF is True, or the current record has been deleted");
  }
  ++position_;
}

int32_t OdbcRecordset::RecordCount() {
  if (!data_ && !count_) count_ = CountOnServer();
  const size_t count = data_ ? data_->rows.size() : static_cast<size_t>(*count_);
  if (count > static_cast<size_t>(INT32_MAX)) throw Error::Overflow("RecordCount");
  return static_cast<int32_t>(count);
}

// The number of rows the query matches, counted by the server over the same source instead of
// fetching them: "SELECT * FROM t [WHERE ...]" becomes "SELECT COUNT(*) FROM t [WHERE ...]".
// A query that may hold ORDER BY (which COUNT(*) cannot carry) or a read-only result has its
// rows read and counted instead.
std::optional<int64_t> OdbcRecordset::CountOnServer() {
  RequireOpen();
  const size_t star = sql_.find(u'*');  // the keyset shape begins "SELECT *"
  if (table_.empty() || star == Text::npos || Mentions(sql_, u"ORDER")) {
    return static_cast<int64_t>(Rows().rows.size());
  }
  const Text sql = sql_.substr(0, star) + u"COUNT(*)" + sql_.substr(star + 1);
  const ResultData result = session_->Run([&] {
    Statement statement(*session_);
    if (!statement.Execute(sql, params_)) {
      throw Error::InvalidProcedureCall("the count of a keyset query returned no result");
    }
    return statement.ReadAll();
  });
  if (result.rows.size() != 1 || result.rows[0].size() != 1) {
    throw Error(kProviderError, "the count of a keyset query gave no single value");
  }
  const Value& count = result.rows[0][0];
  if (count.IsInteger()) return count.integer();
  if (count.IsReal()) return static_cast<int64_t>(count.real());
  throw Error(kProviderError, "the count of a keyset query is not a number");
}

void OdbcRecordset::AddNew() {
  RequireUpdatable();
  if (adding_) throw Error::InvalidProcedureCall("AddNew while a new row is pending");
  TableColumns();
  adding_ = true;
  new_row_.clear();
}

void OdbcRecordset::SetField(TextView name, const Value& value) {
  RequireUpdatable();
  if (!adding_) {
    throw Error::InvalidProcedureCall("a field can only be set on a row started with AddNew");
  }
  int index = FindColumn(*table_columns_, name);
  if (index < 0)
    throw Error(kItemNotFound, "Item cannot be found in the collection: " + ToUtf8(name));
  for (auto& [column, stored] : new_row_) {
    if (column == static_cast<size_t>(index)) {
      stored = value;
      return;
    }
  }
  new_row_.emplace_back(static_cast<size_t>(index), value);
}

void OdbcRecordset::Update() {
  RequireUpdatable();
  if (!adding_) return;  // nothing pending
  std::vector<Text> columns;
  std::vector<Value> values;
  for (const auto& [column, value] : new_row_) {
    columns.push_back(session_->QuoteIdentifier((*table_columns_)[column].name));
    values.push_back(value);
  }
  Text sql = InsertSql(table_, columns);
  // Never sent twice: a lost connection here is an error, since the row may be stored.
  Statement statement(*session_);
  statement.Execute(sql, values);
  statement.Finish();
  session_->MarkUsed();
  adding_ = false;
  new_row_.clear();
}

void OdbcRecordset::Close() {
  // A row started and not stored is dropped, as ADO drops it.
  closed_ = true;
  adding_ = false;
  new_row_.clear();
  data_.reset();
  count_.reset();
}

}  // namespace wq::db::odbc
