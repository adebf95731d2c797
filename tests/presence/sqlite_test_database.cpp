// TestDatabase on SQLite, through the SQLite C API.
#include <dlfcn.h>
#include <sqlite3.h>
#include <strings.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <stdexcept>

#include "tests/presence/test_database.h"

namespace wq::testing {
namespace {

// The server's clock as a test sets it. The engine registers GETDATE() on every connection it
// opens; this binary interposes on that registration (below) and answers with the clock set
// here, or with the engine's own function when none is set.
using ScalarFunction = void (*)(sqlite3_context*, int, sqlite3_value**);
std::mutex g_clockMutex;
bool g_clockSet = false;
Cell g_clock;
std::atomic<ScalarFunction> g_engineGetDate{nullptr};

void TestGetDate(sqlite3_context* context, int argc, sqlite3_value** argv) {
  std::unique_lock lock(g_clockMutex);
  if (!g_clockSet) {
    lock.unlock();
    g_engineGetDate.load()(context, argc, argv);
  } else if (g_clock) {
    sqlite3_result_text(context, g_clock->data(), static_cast<int>(g_clock->size()),
                        SQLITE_TRANSIENT);
  } else {
    sqlite3_result_null(context);
  }
}

void SetClock(bool set, const Cell& value) {
  std::lock_guard lock(g_clockMutex);
  g_clockSet = set;
  g_clock = value;
}

}  // namespace
}  // namespace wq::testing

extern "C" int sqlite3_create_function_v2(sqlite3* db, const char* name, int nArg, int eTextRep,
                                          void* pApp,
                                          void (*xFunc)(sqlite3_context*, int, sqlite3_value**),
                                          void (*xStep)(sqlite3_context*, int, sqlite3_value**),
                                          void (*xFinal)(sqlite3_context*),
                                          void (*xDestroy)(void*)) {
  using Create = int (*)(sqlite3*, const char*, int, int, void*, decltype(xFunc), decltype(xStep),
                         decltype(xFinal), decltype(xDestroy));
  static const Create real =
      reinterpret_cast<Create>(dlsym(RTLD_NEXT, "sqlite3_create_function_v2"));
  if (name != nullptr && strcasecmp(name, "GETDATE") == 0 && xFunc != nullptr) {
    wq::testing::g_engineGetDate.store(xFunc);
    xFunc = wq::testing::TestGetDate;
  }
  return real(db, name, nArg, eTextRep, pApp, xFunc, xStep, xFinal, xDestroy);
}

namespace wq::testing {
namespace {

std::filesystem::path TempRoot() {
  const char* env = std::getenv("WEBQUORREL_TEST_TMP");
  return env != nullptr && *env != '\0' ? std::filesystem::path(env)
                                        : std::filesystem::temp_directory_path();
}

class SqliteTestDatabase : public TestDatabase {
 public:
  SqliteTestDatabase() {
    static std::atomic<int> counter{0};
    dir_ = TempRoot() / ("presence-" + std::to_string(getpid()) + "-" + std::to_string(counter++));
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    path_ = (dir_ / "presence.db").string();
    if (sqlite3_open(path_.c_str(), &db_) != SQLITE_OK) throw std::runtime_error("open failed");
    sqlite3_busy_timeout(db_, 10000);
  }
  ~SqliteTestDatabase() override {
    SetClock(false, std::nullopt);
    sqlite3_close(db_);
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }

  std::string ConnectionString() const override { return "Provider=SQLite;Data Source=" + path_; }

  void CreateSchema(Layout layout) override {
    switch (layout) {
      case Layout::kStandard:
        Exec(
            "CREATE TABLE SystemSetting (ssID INTEGER PRIMARY KEY AUTOINCREMENT, ssDesc TEXT, "
            "ssOption TEXT, ssModeName TEXT, ssState INTEGER)");
        break;
      case Layout::kExtraColumns:
        Exec(
            "CREATE TABLE SystemSetting (ssID INTEGER PRIMARY KEY AUTOINCREMENT, ssDesc TEXT, "
            "ssNote TEXT, ssOption TEXT, ssModeName TEXT, ssState INTEGER, "
            "ssWeight INTEGER NOT NULL DEFAULT 7)");
        break;
      case Layout::kLooseIds:
        Exec(
            "CREATE TABLE SystemSetting (ssID TEXT, ssDesc TEXT, ssOption TEXT, "
            "ssModeName TEXT, ssState INTEGER)");
        break;
    }
  }

  void Exec(const std::string& sql) override {
    char* err = nullptr;
    if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &err) != SQLITE_OK) {
      std::string message = err != nullptr ? err : "?";
      sqlite3_free(err);
      throw std::runtime_error(message + " in " + sql);
    }
  }

  std::string Insert(const RawRow& row) override {
    sqlite3_stmt* st = Prepare(
        "INSERT INTO SystemSetting (ssID, ssDesc, ssOption, ssModeName, ssState) "
        "VALUES (?, ?, ?, ?, ?)");
    BindText(st, 1, row.id);
    BindText(st, 2, row.desc);
    BindText(st, 3, row.option);
    BindText(st, 4, row.modeName);
    if (row.state) {
      sqlite3_bind_int64(st, 5, *row.state);
    } else {
      sqlite3_bind_null(st, 5);
    }
    const int rc = sqlite3_step(st);
    sqlite3_finalize(st);
    if (rc != SQLITE_DONE) throw std::runtime_error(sqlite3_errmsg(db_));
    return row.id ? *row.id : std::to_string(sqlite3_last_insert_rowid(db_));
  }

  std::vector<std::vector<Cell>> Query(const std::string& sql) override {
    sqlite3_stmt* st = Prepare(sql);
    std::vector<std::vector<Cell>> rows;
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
      std::vector<Cell> row;
      for (int c = 0; c < sqlite3_column_count(st); ++c) {
        if (sqlite3_column_type(st, c) == SQLITE_NULL) {
          row.emplace_back();
        } else {
          row.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(st, c)));
        }
      }
      rows.push_back(std::move(row));
    }
    sqlite3_finalize(st);
    if (rc != SQLITE_DONE) throw std::runtime_error(sqlite3_errmsg(db_));
    return rows;
  }

  bool SetServerClock(const Cell& value) override {
    SetClock(true, value);
    return true;
  }

 private:
  sqlite3_stmt* Prepare(const std::string& sql) {
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) {
      throw std::runtime_error(std::string(sqlite3_errmsg(db_)) + " in " + sql);
    }
    return st;
  }
  // Text columns get text; a text id is bound as given (the column's affinity decides).
  static void BindText(sqlite3_stmt* st, int index, const Cell& value) {
    if (value) {
      sqlite3_bind_text(st, index, value->data(), static_cast<int>(value->size()),
                        SQLITE_TRANSIENT);
    } else {
      sqlite3_bind_null(st, index);
    }
  }

  std::filesystem::path dir_;
  std::string path_;
  sqlite3* db_ = nullptr;
};

}  // namespace

TestEngine SqliteEngine() {
  return {"Sqlite", [] { return std::make_unique<SqliteTestDatabase>(); }};
}

}  // namespace wq::testing
