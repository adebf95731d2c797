#include "platform/db/sqlite/sqlite_register.h"

#include <sqlite3.h>

#include <string>

#include "platform/db/register_sql.h"
#include "platform/db/sqlite/date_time_text.h"
#include "platform/error.h"

namespace wq::db::sqlite {
namespace {

// Lets several processes share one file: a connection that finds the file locked waits this
// long for the lock before it reports SQLITE_BUSY.
constexpr int kBusyTimeoutMs = 10000;

// GETDATE(): the local date and time as text "YYYY-MM-DD HH:MM:SS".
void GetDate(sqlite3_context* context, int, sqlite3_value**) {
  const std::string text = FormatDateTime(LocalNow());
  sqlite3_result_text(context, text.c_str(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

[[noreturn]] void RaiseEngineError(sqlite3* db) {
  throw Error::Database(sqlite3_extended_errcode(db), "", sqlite3_errmsg(db));
}

// One prepared statement, finalized when it goes.
class Statement {
 public:
  Statement(sqlite3* db, const Text& sql) : db_(db) {
    const std::string utf8 = ToUtf8(sql);
    if (sqlite3_prepare_v2(db, utf8.c_str(), static_cast<int>(utf8.size()), &stmt_, nullptr) !=
        SQLITE_OK) {
      RaiseEngineError(db);
    }
  }
  ~Statement() { sqlite3_finalize(stmt_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  void Bind(int i, const Value& v) {
    int rc;
    if (v.IsInteger()) {
      rc = sqlite3_bind_int64(stmt_, i, v.integer());
    } else if (v.IsText()) {
      const std::string text = ToUtf8(v.text());
      rc = sqlite3_bind_text64(stmt_, i, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
    } else {
      rc = sqlite3_bind_null(stmt_, i);
    }
    if (rc != SQLITE_OK) RaiseEngineError(db_);
  }
  bool Step() {
    const int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    RaiseEngineError(db_);
  }
  // Reads a column of the current row into v (a text value keeps its storage). Texts longer
  // than maxUnits UTF-16 units (when given) are left unread: v becomes null and *tooLong is set.
  // Binary values raise a type mismatch.
  void ColumnInto(int i, Value& v, size_t maxUnits = 0, bool* tooLong = nullptr) const {
    if (tooLong != nullptr) *tooLong = false;
    switch (sqlite3_column_type(stmt_, i)) {
      case SQLITE_INTEGER:
        v = Value(static_cast<int64_t>(sqlite3_column_int64(stmt_, i)));
        return;
      case SQLITE_FLOAT:
        v = Value(sqlite3_column_double(stmt_, i));
        return;
      case SQLITE_TEXT: {
        const char* data = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, i));
        const size_t bytes = static_cast<size_t>(sqlite3_column_bytes(stmt_, i));
        // UTF-8 takes at least one byte per UTF-16 unit, at most three.
        if (maxUnits != 0 && bytes > 3 * maxUnits) {
          *tooLong = true;
          v = Value();
          return;
        }
        Text& text = v.SetText();
        AssignUtf8(text, std::string_view(data, bytes));
        if (maxUnits != 0 && text.size() > maxUnits) {
          *tooLong = true;
          v = Value();
        }
        return;
      }
      case SQLITE_BLOB:
        throw Error::TypeMismatch(std::string("the column ") + sqlite3_column_name(stmt_, i) +
                                  " holds binary data");
      default:
        v = Value();
    }
  }
  Value Column(int i) const {
    Value v;
    ColumnInto(i, v);
    return v;
  }
  std::vector<Text> ColumnNames() const {
    std::vector<Text> names;
    for (int i = 0; i < sqlite3_column_count(stmt_); ++i) {
      const char* name = sqlite3_column_name(stmt_, i);
      names.push_back(name ? FromUtf8(name) : Text());
    }
    return names;
  }

 private:
  sqlite3* db_;
  sqlite3_stmt* stmt_ = nullptr;
};

class SqliteRegister final : public Register {
 public:
  SqliteRegister(const std::string& path, Access access) {
    // A register is used by one thread at a time, so the connection needs no lock of its own
    // around every call (several connections to one file still lock the file).
    const int flags = (access == Access::kReadOnly ? SQLITE_OPEN_READONLY
                                                   : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE) |
                      SQLITE_OPEN_EXRESCODE | SQLITE_OPEN_NOMUTEX;
    const int rc = sqlite3_open_v2(path.c_str(), &db_, flags, nullptr);
    if (rc != SQLITE_OK) FailOpen(path, rc);
    sqlite3_extended_result_codes(db_, 1);
    sqlite3_busy_timeout(db_, kBusyTimeoutMs);
    sqlite3_create_function_v2(db_, "GETDATE", 0, SQLITE_UTF8 | SQLITE_INNOCUOUS, nullptr, GetDate,
                               nullptr, nullptr, nullptr);
    // Write-ahead logging lets readers and one writer work at the same time, so workstations
    // reading the table do not hold up the one adding a row. The mode is kept in the file; it
    // cannot be set while another connection holds the file locked, and then the connection
    // goes on in the file's current mode. Reading the mode also reads the file's header, so a
    // file that is no database is reported here, not at the first query.
    const char* pragma =
        access == Access::kReadOnly ? "PRAGMA schema_version" : "PRAGMA journal_mode=WAL";
    const int mode_rc = sqlite3_exec(db_, pragma, nullptr, nullptr, nullptr);
    const int primary = mode_rc & 0xFF;
    if (mode_rc != SQLITE_OK && primary != SQLITE_BUSY && primary != SQLITE_LOCKED &&
        primary != SQLITE_READONLY) {
      FailOpen(path, mode_rc);
    }
  }
  ~SqliteRegister() override { Close(); }

  std::optional<Value> ServerClock() override {
    Statement st(Db(), kServerClockQuery);
    if (!st.Step()) return std::nullopt;
    return st.Column(0);
  }

  void ScanMarked(const Text& marker, const std::function<void(const MarkedRow&)>& visit) override {
    Statement st(Db(), MarkedRowsQuery(marker));
    // The first step compiles the statement anew when the table changed since it was prepared,
    // and the columns are those it then has.
    bool more = st.Step();
    const MarkedColumns c = FindMarkedColumns(st.ColumnNames());
    MarkedRow row;
    for (; more; more = st.Step()) {
      st.ColumnInto(c.id, row.id);
      st.ColumnInto(c.option, row.option, kMaxOptionUnits, &row.optionTooLong);
      st.ColumnInto(c.module, row.module);
      st.ColumnInto(c.state, row.state);
      visit(row);
    }
  }

  void Add(const Text& marker, const Text& option, int16_t state, const Text& module) override {
    Statement st(Db(), kAddRow);
    st.Bind(1, marker);
    st.Bind(2, option);
    st.Bind(3, int64_t{state});
    st.Bind(4, module);
    st.Step();
  }

  void DeleteMarked(const Text& marker, const std::vector<Value>& ids,
                    const std::optional<Text>& module) override {
    if (ids.empty()) return;
    const DeleteStatement d = MakeDelete(marker, ids, module);
    Statement st(Db(), d.sql);
    for (size_t i = 0; i < d.params.size(); ++i) st.Bind(static_cast<int>(i + 1), d.params[i]);
    st.Step();
  }

  int64_t CountMarked(const Text& marker) override {
    Statement st(Db(), CountQuery(marker));
    return st.Step() ? CountOf(st.Column(0)) : 0;
  }

  std::string product() const override { return "sqlite"; }

  void RunSchemaStatement(const Text& sql) override {
    Statement st(Db(), sql);
    while (st.Step()) {
    }
  }

  void Close() override {
    if (db_) sqlite3_close_v2(db_);
    db_ = nullptr;
  }

 private:
  sqlite3* Db() const {
    if (!db_) throw Error(kObjectClosed, "Operation is not allowed when the object is closed");
    return db_;
  }

  [[noreturn]] void FailOpen(const std::string& path, int rc) {
    const std::string message = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
    const int code = db_ ? sqlite3_extended_errcode(db_) : rc;
    Close();
    throw Error::Database(
        code, "", "Cannot open the database: SQLite cannot open '" + path + "': " + message);
  }

  sqlite3* db_ = nullptr;
};

}  // namespace

std::unique_ptr<Register> OpenRegister(const std::string& path, Access access) {
  return std::make_unique<SqliteRegister>(path, access);
}

}  // namespace wq::db::sqlite
