// The updatable result set of OpenKeyset.
//
// It visits the rows that matched when it opened: opening notes the table's highest row id
// (one look-up, no scan), and the rows are read only when first needed (Eof, Field, MoveNext,
// RecordCount), leaving out rows with a higher id. So rows added while it is open, by it or by
// anyone else, are not visited, and a result opened only to add a row reads none of the table's
// rows. (A table without AUTOINCREMENT may give a new row the id of a deleted one; such a row,
// added between opening and the first read, would be visited.)
//
// How the rows are read depends on the file's journal mode:
//   - With write-ahead logging, the rows come one at a time from the running statement, which
//     sees the file as it was at the first read. A running read holds up no writer on another
//     connection there. Before anything else runs on this connection, the result takes the rest
//     of its rows into memory and ends its statement (see Database::FinishPendingRead), so the
//     connection's other statements see the file as it is now and can write.
//     RecordCount counts with one count(*) statement run beside the reading statement, which
//     sees the same state of the file, so the count is the number of rows visited.
//   - Otherwise a running read would hold a lock that keeps other connections from writing, so
//     every row is read into memory at the first read and the statement ends at once.

#include <limits>
#include <optional>

#include "platform/db/sql_text.h"
#include "platform/db/sqlite/rows_recordset.h"
#include "platform/error.h"

namespace wq::db::sqlite {
namespace {

class KeysetResult final : public RowsRecordset, private PendingRead {
 public:
  KeysetResult(std::shared_ptr<Database> db, TextView sql, const std::vector<Value>& params)
      : RowsRecordset(std::move(db)), params_(params) {
    sqlite3* handle = db_->get();
    const KeysetSource source = ParseKeysetSource(sql, /*backtickNames=*/true);
    for (TextView part : source.parts) {
      table_ += (table_.empty() ? "" : ".") + QuoteIdentifier(UnquoteName(part));
    }
    tail_ = Text(source.tail);
    // Preparing checks the table, its columns, the condition and the parameters now; the rows
    // are read later. Column 0 is the row id, the rest are the table's own columns.
    reader_ =
        std::make_unique<Statement>(handle, FromUtf8("SELECT _rowid_, * FROM " + table_) + tail_);
    if (!reader_->read_only()) throw Error::InvalidProcedureCall("a keyset query must only read");
    reader_->Bind(params);
    for (int i = 1; i < reader_->column_count(); ++i) columns_.push_back(reader_->ColumnName(i));

    Statement highest(handle, FromUtf8("SELECT max(_rowid_) FROM " + table_));
    const Cell cell = highest.Step() ? highest.Column(0) : Cell{};
    if (cell.value.IsInteger()) {
      highest_id_ = cell.value.integer();
    } else {
      reader_.reset();  // the table was empty: nothing matched
      state_ = State::kStored;
    }
  }

  ~KeysetResult() override { db_->clear_pending_read(this); }

  Value Field(TextView name) override {
    if (adding_) {
      CheckOpen();
      const std::optional<Value>& value = new_row_[FindColumn(name)];
      return value ? *value : Value();
    }
    if (!Streaming()) return RowsRecordset::Field(name);
    const size_t column = FindColumn(name);
    if (!on_row_) RaiseNoCurrentRecord();
    return ValueOf(reader_->Column(static_cast<int>(column) + 1), column);
  }

  bool Eof() override {
    if (adding_) {
      CheckOpen();
      return false;  // the row being added is the current row
    }
    if (!Streaming()) return RowsRecordset::Eof();
    return !on_row_;
  }

  void MoveNext() override {
    if (adding_) RaiseAdding("move");
    if (!Streaming()) return RowsRecordset::MoveNext();
    if (!on_row_) RaiseNoCurrentRecord();
    Advance();
  }

  int32_t RecordCount() override {
    if (!Streaming()) return RowsRecordset::RecordCount();
    if (!count_) count_ = on_row_ ? CountMatches() : visited_;
    return *count_;
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
    db_->FinishPendingRead();
    Statement insert(db_->get(), FromUtf8(sql));
    insert.Bind(values);
    insert.Step();
    adding_ = false;
    new_row_.clear();
  }

  void Close() override {
    EndReading();
    adding_ = false;
    new_row_.clear();
    RowsRecordset::Close();
  }

 private:
  enum class State {
    kUnread,     // no row read yet
    kStreaming,  // reading from the running statement; on_row_ tells whether a row is current
    kStored,     // every row in rows_
  };

  // Opens the result and starts reading when no row has been read yet; true while the rows
  // come from the running statement.
  bool Streaming() {
    CheckOpen();
    if (state_ == State::kUnread) Start();
    return state_ == State::kStreaming;
  }

  void Start() {
    db_->FinishPendingRead();  // one running read per connection
    state_ = State::kStreaming;
    visited_ = 0;
    on_row_ = false;
    count_.reset();
    if (db_->wal()) db_->set_pending_read(this);
    try {
      Advance();
    } catch (const Error&) {
      Restart();
      throw;
    }
    if (!db_->wal()) FinishReading();
  }

  // Steps to the next row that matched at open; at the end, ends the statement.
  void Advance() {
    on_row_ = false;
    while (reader_->Step()) {
      if (reader_->ColumnType(0) == SQLITE_INTEGER && reader_->ColumnInteger(0) > highest_id_) {
        continue;
      }
      on_row_ = true;
      ++visited_;
      return;
    }
    reader_.reset();
    db_->clear_pending_read(this);
  }

  // Counts the rows the result visits with a statement run beside the reading one, which
  // therefore sees the same state of the file.
  int32_t CountMatches() {
    Statement count(db_->get(),
                    FromUtf8("SELECT count(*) FROM (SELECT _rowid_ AS wq_rowid FROM " + table_) +
                        tail_ + u") WHERE wq_rowid <= ?");
    std::vector<Value> params = params_;
    params.emplace_back(highest_id_);
    count.Bind(params);
    if (!count.Step()) throw Error(kProviderError, "the count of a keyset result gave no row");
    const int64_t n = count.ColumnInteger(0);
    if (n > std::numeric_limits<int32_t>::max()) {
      throw Error::Overflow("the result has more rows than a record count can hold");
    }
    return static_cast<int32_t>(n);
  }

  // Takes the current row and every further one into memory and ends the statement.
  void FinishReading() override {
    if (state_ != State::kStreaming) return;
    try {
      rows_.Start(*reader_, 1);
      position_ = 0;
      while (on_row_) {
        rows_.Append(*reader_);
        Advance();
      }
    } catch (const Error&) {
      Restart();  // start afresh at the next use (a busy file may be free by then)
      throw;
    }
    state_ = State::kStored;
  }

  // Back to before the first read, the statement kept.
  void Restart() {
    rows_.Clear();
    position_ = 0;
    on_row_ = false;
    db_->clear_pending_read(this);
    if (reader_) {
      reader_->Reset();
      state_ = State::kUnread;
    } else {
      state_ = State::kStored;
    }
  }

  void EndReading() {
    db_->clear_pending_read(this);
    reader_.reset();
    on_row_ = false;
    state_ = State::kStored;
  }

  [[noreturn]] void RaiseAdding(const char* what) {
    CheckOpen();
    throw Error::InvalidProcedureCall(std::string("cannot ") + what +
                                      " while a row is being added; call Update first");
  }

  std::string table_;  // quoted
  Text tail_;
  std::vector<Value> params_;
  std::unique_ptr<Statement> reader_;
  int64_t highest_id_ = 0;
  State state_ = State::kUnread;
  bool on_row_ = false;
  int32_t visited_ = 0;
  std::optional<int32_t> count_;
  bool adding_ = false;
  std::vector<std::optional<Value>> new_row_;
};

}  // namespace

std::unique_ptr<Recordset> OpenKeysetResult(std::shared_ptr<Database> db, TextView sql,
                                            const std::vector<Value>& params) {
  return std::make_unique<KeysetResult>(std::move(db), sql, params);
}

}  // namespace wq::db::sqlite
