#include "cli/history_file.h"

#include "cli/system.h"
#include "platform/error.h"

#ifdef _WIN32
#include "platform/db/odbc/driver_quoting.h"
#include "platform/db/odbc/session.h"
#include "platform/db/odbc/statement.h"
#else
#include <sqlite3.h>
#endif

namespace wq::cli {
namespace {

#ifdef _WIN32

class OdbcHistoryFile final : public HistoryFile {
 public:
  explicit OdbcHistoryFile(const std::string& path)
      : session_(ConnectionString(path), db::odbc::kDefaultLoginTimeoutSeconds, false) {}
  ~OdbcHistoryFile() override {
    try {
      session_.Close();
    } catch (...) {
    }
  }
  Rows Run(const char* sql, const std::vector<db::Value>& params) override {
    db::odbc::Statement st(session_);
    if (!st.Execute(FromUtf8(sql), params)) {
      st.Finish();
      return {};
    }
    return st.ReadAll().rows;
  }

 private:
  // As the driver reads its pairs: a path it cannot read is refused, never misread. Timeout: how
  // long a writer waits for another's lock, in milliseconds.
  static Text ConnectionString(const std::string& path) {
    std::string driver = EnvironmentVariable("WEBQUORREL_SQLITE_DRIVER");
    if (driver.empty()) driver = "SQLite3 ODBC Driver";
    const Text name = FromUtf8(driver);
    const db::odbc::ValueReader reader = db::odbc::ReaderOf(name);
    Text out;
    db::odbc::AppendDriver(out, name);
    db::odbc::AppendPairFor(out, u"Database", FromUtf8(path), reader, name);
    db::odbc::AppendPairFor(out, u"Timeout", u"5000", reader, name);
    return out;
  }
  db::odbc::Session session_;
};

#else

// SQLite itself, in write-ahead-log mode so that readers (serve, history) never block a sampler.
class SqliteHistoryFile final : public HistoryFile {
 public:
  explicit SqliteHistoryFile(const std::string& path) {
    const int rc =
        sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (rc != SQLITE_OK) {
      const std::string why = db_ != nullptr ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
      sqlite3_close(db_);
      throw Error::Database(rc, "", "cannot open the history file " + path + ": " + why);
    }
    sqlite3_busy_timeout(db_, 5000);
    Run("PRAGMA journal_mode=WAL");
  }
  ~SqliteHistoryFile() override { sqlite3_close_v2(db_); }
  SqliteHistoryFile(const SqliteHistoryFile&) = delete;
  SqliteHistoryFile& operator=(const SqliteHistoryFile&) = delete;

  Rows Run(const char* sql, const std::vector<db::Value>& params = {}) override {
    sqlite3_stmt* raw = nullptr;
    Check(sqlite3_prepare_v2(db_, sql, -1, &raw, nullptr));
    const std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> st(raw, sqlite3_finalize);
    for (size_t i = 0; i < params.size(); ++i) {
      const int at = static_cast<int>(i + 1);
      if (params[i].IsInteger()) {
        Check(sqlite3_bind_int64(st.get(), at, params[i].integer()));
      } else {
        const std::string text = ToUtf8(params[i].text());
        Check(sqlite3_bind_text(st.get(), at, text.data(), static_cast<int>(text.size()),
                                SQLITE_TRANSIENT));
      }
    }
    Rows rows;
    int rc = SQLITE_ROW;
    while ((rc = sqlite3_step(st.get())) == SQLITE_ROW) {
      std::vector<db::Value>& row = rows.emplace_back();
      for (int c = 0; c < sqlite3_column_count(st.get()); ++c) row.push_back(Column(st.get(), c));
    }
    if (rc != SQLITE_DONE) Check(rc);
    return rows;
  }

 private:
  static db::Value Column(sqlite3_stmt* st, int c) {
    switch (sqlite3_column_type(st, c)) {
      case SQLITE_INTEGER:
        return db::Value(static_cast<int64_t>(sqlite3_column_int64(st, c)));
      case SQLITE_FLOAT:
        return db::Value(sqlite3_column_double(st, c));
      case SQLITE_TEXT: {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(st, c));
        return db::Value(FromUtf8(std::string(text, sqlite3_column_bytes(st, c))));
      }
      default:  // null, or a blob that this file never holds
        return db::Value();
    }
  }
  void Check(int rc) const {
    if (rc != SQLITE_OK) {
      throw Error::Database(sqlite3_extended_errcode(db_), "",
                            std::string("the history file: ") + sqlite3_errmsg(db_));
    }
  }
  sqlite3* db_ = nullptr;
};

#endif

}  // namespace

std::unique_ptr<HistoryFile> OpenHistoryFile(const std::string& path) {
#ifdef _WIN32
  return std::make_unique<OdbcHistoryFile>(path);
#else
  return std::make_unique<SqliteHistoryFile>(path);
#endif
}

}  // namespace wq::cli
