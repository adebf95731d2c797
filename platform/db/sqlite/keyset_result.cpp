// The updatable result set of OpenKeyset.
//
// It visits the rows that matched when it opened: opening notes the table's highest row id
// (one look-up, no scan), and the rows are read only when first needed (Eof, Field, MoveNext,
// RecordCount), all at once, leaving out rows with a higher id. So rows added while it is open,
// by it or by anyone else, are not visited, and a result opened only to add a row reads none of
// the table's rows. (A table without AUTOINCREMENT may give a new row the id of a deleted one;
// such a row, added between opening and the first read, would be visited.)
//
// Holding the rows in memory rather than a running statement means no lock on the file is held
// while the caller works through them, so other connections can write meanwhile.
#include <optional>

#include "platform/db/sqlite/keyset_query.h"
#include "platform/db/sqlite/rows_recordset.h"
#include "platform/error.h"

namespace wq::db::sqlite {
namespace {

class KeysetResult final : public RowsRecordset {
 public:
  KeysetResult(std::shared_ptr<Database> db, TextView sql, const std::vector<Value>& params)
      : RowsRecordset(std::move(db)) {
    sqlite3* handle = db_->get();
    const KeysetQuery query = ParseKeysetQuery(sql);
    table_ = QuoteIdentifier(query.table);
    // Preparing checks the table, its columns, the condition and the parameters now; the rows
    // are read later. Column 0 is the row id, the rest are the table's own columns.
    reader_ = std::make_unique<Statement>(
        handle, FromUtf8("SELECT _rowid_, * FROM " + table_) + query.tail);
    if (!reader_->read_only()) throw Error::InvalidProcedureCall("a keyset query must only read");
    reader_->Bind(params);
    for (int i = 1; i < reader_->column_count(); ++i) columns_.push_back(reader_->ColumnName(i));

    Statement highest(handle, FromUtf8("SELECT max(_rowid_) FROM " + table_));
    const Cell cell = highest.Step() ? highest.Column(0) : Cell{};
    if (cell.value.IsInteger()) {
      highest_id_ = cell.value.integer();
    } else {
      reader_.reset();  // the table was empty: nothing matched
    }
  }

  Value Field(TextView name) override {
    if (!adding_) return RowsRecordset::Field(name);
    CheckOpen();
    const std::optional<Value>& value = new_row_[FindColumn(name)];
    return value ? *value : Value();
  }

  bool Eof() override {
    if (adding_) {
      CheckOpen();
      return false;  // the row being added is the current row
    }
    return RowsRecordset::Eof();
  }

  void MoveNext() override {
    if (adding_) RaiseAdding("move");
    RowsRecordset::MoveNext();
  }

  void AddNew() override {
    CheckOpen();
    if (adding_) RaiseAdding("start another");
    new_row_.assign(columns_.size(), std::nullopt);
    adding_ = true;
  }

  void SetField(TextView name, const Value& value) override {
    CheckOpen();
    const size_t column = FindColumn(name);
    if (!adding_) {
      throw Error::InvalidProcedureCall(
          "SetField needs AddNew first: a keyset result adds rows, it does not change them");
    }
    new_row_[column] = value;
  }

  // Stores the row being added: only the columns that were set, so the database fills the rest
  // (the row id among them). Does nothing when no row is being added. On failure the row stays
  // pending, as it was.
  void Update() override {
    CheckOpen();
    if (!adding_) return;
    std::string names;
    std::string markers;
    std::vector<Value> values;
    for (size_t i = 0; i < columns_.size(); ++i) {
      if (!new_row_[i]) continue;
      if (!values.empty()) {
        names += ", ";
        markers += ", ";
      }
      names += QuoteIdentifier(columns_[i]);
      markers += "?";
      values.push_back(*new_row_[i]);
    }
    const std::string sql =
        values.empty() ? "INSERT INTO " + table_ + " DEFAULT VALUES"
                       : "INSERT INTO " + table_ + " (" + names + ") VALUES (" + markers + ")";
    Statement insert(db_->get(), FromUtf8(sql));
    insert.Bind(values);
    insert.Step();
    adding_ = false;
    new_row_.clear();
  }

  void Close() override {
    reader_.reset();
    adding_ = false;
    new_row_.clear();
    RowsRecordset::Close();
  }

 private:
  void EnsureRows() override {
    if (!reader_) return;
    try {
      while (reader_->Step()) {
        const Cell id = reader_->Column(0);
        if (id.value.IsInteger() && id.value.integer() > highest_id_) continue;
        Row row;
        row.reserve(columns_.size());
        for (int i = 1; i < reader_->column_count(); ++i) row.push_back(reader_->Column(i));
        rows_.push_back(std::move(row));
      }
    } catch (const Error&) {
      // Start afresh at the next use (a busy file may be free by then).
      rows_.clear();
      reader_->Reset();
      throw;
    }
    reader_.reset();
  }

  [[noreturn]] void RaiseAdding(const char* what) {
    CheckOpen();
    throw Error::InvalidProcedureCall(std::string("cannot ") + what +
                                      " while a row is being added; call Update first");
  }

  std::string table_;  // quoted
  std::unique_ptr<Statement> reader_;
  int64_t highest_id_ = 0;
  bool adding_ = false;
  std::vector<std::optional<Value>> new_row_;
};

}  // namespace

std::unique_ptr<Recordset> OpenKeysetResult(std::shared_ptr<Database> db, TextView sql,
                                            const std::vector<Value>& params) {
  return std::make_unique<KeysetResult>(std::move(db), sql, params);
}

}  // namespace wq::db::sqlite
