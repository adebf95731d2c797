#include "tests/fuzz/scratch_database.h"

#include <stdlib.h>

#include <filesystem>
#include <string>

#include <sqlite3.h>

#include <stdexcept>

namespace wq::fuzz {
namespace {

struct Scratch {
  std::string dir;
  std::string path;
  Text conn;
  sqlite3* db = nullptr;
  Scratch() {
    // In memory where the system has a tmpfs: the update writes, and a disk's syncs would cost
    // most of the time of an execution.
    std::error_code ignored;
    const std::filesystem::path base = std::filesystem::is_directory("/dev/shm", ignored)
                                           ? std::filesystem::path("/dev/shm")
                                           : std::filesystem::temp_directory_path();
    std::string pattern = (base / "wq-fuzz-XXXXXX").string();
    dir = mkdtemp(pattern.data());
    path = dir + "/scratch.db";
    conn = u"Provider=SQLite;Data Source=" + FromUtf8(path);
    if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) throw std::runtime_error("scratch open");
    sqlite3_busy_timeout(db, 10000);
    Exec("CREATE TABLE SystemSetting (ssID INTEGER PRIMARY KEY AUTOINCREMENT, ssDesc TEXT, "
         "ssOption TEXT, ssModeName TEXT, ssState INTEGER)");
  }
  void Exec(const char* sql) {
    if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
      throw std::runtime_error(sqlite3_errmsg(db));
  }
  ~Scratch() {
    sqlite3_close(db);
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
  }
};

Scratch& Shared() {
  static Scratch scratch;
  return scratch;
}

}  // namespace

const Text& ScratchConnection() { return Shared().conn; }

void EmptyScratchTable() { Shared().Exec("DELETE FROM SystemSetting"); }

void AddScratchRow(const Text& marker, const db::Value& option) {
  sqlite3* db = Shared().db;
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(db,
                     "INSERT INTO SystemSetting (ssDesc, ssOption, ssModeName, ssState) VALUES "
                     "(?, ?, 'Fuzz', 0)",
                     -1, &st, nullptr);
  const std::string m = ToUtf8(marker);
  sqlite3_bind_text(st, 1, m.data(), static_cast<int>(m.size()), SQLITE_TRANSIENT);
  if (option.IsText()) {
    const std::string t = ToUtf8(option.text());
    sqlite3_bind_text(st, 2, t.data(), static_cast<int>(t.size()), SQLITE_TRANSIENT);
  } else if (option.IsInteger()) {
    sqlite3_bind_int64(st, 2, option.integer());
  } else if (option.IsDateTime()) {
    sqlite3_bind_text(st, 2, "2026-03-07 09:05:02", -1, SQLITE_STATIC);
  }
  const int rc = sqlite3_step(st);
  sqlite3_finalize(st);
  if (rc != SQLITE_DONE) throw std::runtime_error(sqlite3_errmsg(db));
}

}  // namespace wq::fuzz
