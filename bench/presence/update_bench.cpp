// The presence update on a SQLite file, beside a floor that sends the same statements through
// the SQLite C API without unsealing or classifying anything.
//
//   build/bench/presence/presence_update_bench --benchmark_repetitions=5
//       --benchmark_report_aggregates_only=true
//
// The files go to $WEBQUORREL_BENCH_DIR (default: the temporary folder); on a tmpfs such as
// /dev/shm the disk's flushes drop out and the figures are the processor's work alone.
//
// Update/N and Floor/N: N live records of other workstations; each iteration removes this
// workstation's record of the previous iteration and registers it again, so the table keeps
// its size. Unrelated/R: one presence record beside R settings rows of other kinds.
#include <benchmark/benchmark.h>
#include <openssl/rc4.h>
#include <sqlite3.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "presence/module_state.h"
#include "presence/record.h"
#include "presence/update.h"

namespace wq::presence {
namespace {

const char kSchema[] =
    "CREATE TABLE SystemSetting (ssID INTEGER PRIMARY KEY AUTOINCREMENT, ssDesc TEXT, "
    "ssOption TEXT, ssModeName TEXT, ssState INTEGER);"
    "CREATE INDEX SystemSetting_ssDesc ON SystemSetting (ssDesc);";

void Check(int rc, sqlite3* db, int want = SQLITE_OK) {
  if (rc != want) throw std::runtime_error(sqlite3_errmsg(db));
}

// A fresh database file with `live` presence records of other workstations and `unrelated`
// rows of other kinds.
class BenchDatabase {
 public:
  BenchDatabase(int live, int unrelated) {
    const char* where = std::getenv("WEBQUORREL_BENCH_DIR");
    const std::filesystem::path base = where != nullptr && *where != '\0'
                                           ? std::filesystem::path(where)
                                           : std::filesystem::temp_directory_path();
    dir_ = base / ("wq-bench-" + std::to_string(getpid()) + "-" + std::to_string(live) + "-" +
                   std::to_string(unrelated));
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    path_ = (dir_ / "p.db").string();
    sqlite3* db = nullptr;
    Check(sqlite3_open(path_.c_str(), &db), db);
    Check(sqlite3_exec(db, kSchema, nullptr, nullptr, nullptr), db);
    Check(sqlite3_exec(db, "PRAGMA journal_mode=WAL; BEGIN", nullptr, nullptr, nullptr), db);
    sqlite3_stmt* st = nullptr;
    Check(sqlite3_prepare_v2(db,
                             "INSERT INTO SystemSetting (ssDesc, ssOption, ssModeName, ssState) "
                             "VALUES (?, ?, 'Bench', 0)",
                             -1, &st, nullptr),
          db);
    const std::string marker = ToUtf8(PresenceMarker());
    for (int i = 0; i < live + unrelated; ++i) {
      const bool presence = i < live;
      const std::string desc = presence ? marker : "Setting" + std::to_string(i);
      const std::string option =
          presence ? ToUtf8(SealPayload(FromUtf8("WS-" + std::to_string(i) + ",2026-3-7 9:05:02")))
                   : "value " + std::to_string(i);
      sqlite3_bind_text(st, 1, desc.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_text(st, 2, option.c_str(), -1, SQLITE_TRANSIENT);
      Check(sqlite3_step(st), db, SQLITE_DONE);
      sqlite3_reset(st);
    }
    sqlite3_finalize(st);
    Check(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), db);
    sqlite3_close(db);
  }
  ~BenchDatabase() {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  const std::string& path() const { return path_; }
  Text conn() const { return FromUtf8("Provider=SQLite;Data Source=" + path_); }

 private:
  std::filesystem::path dir_;
  std::string path_;
};

void RunUpdates(benchmark::State& state, int live, int unrelated) {
  setenv("WEBQUORREL_COMPUTERNAME", "BENCH-SELF", 1);
  BenchDatabase db(live, unrelated);
  const Text conn = db.conn();
  for (auto _ : state) {
    const UpdateResult r = UpdateOnlineState(conn, 2, u"Bench", false);
    if (!r.ok()) {
      state.SkipWithError(r.error->what());
      break;
    }
    benchmark::DoNotOptimize(r.count);
  }
}

// The statements of one update, sent as directly as SQLite allows.
class Floor {
 public:
  explicit Floor(const std::string& path) : path_(path) {
    marker_ = ToUtf8(PresenceMarker());
    sealed_ = ToUtf8(SealPayload(u"BENCH-SELF,2026-3-7 9:05:02"));
  }

  int Update() {
    sqlite3* db = Open();
    ServerTime(db);
    // The scan reads the same two columns of every presence record.
    std::string ids;
    const std::string query = "SELECT * FROM SystemSetting WHERE ssDesc = '" + marker_ + "'";
    {
      sqlite3_stmt* st = Prepare(db, query);
      const int option = Column(st, "ssOption");
      const int id = Column(st, "ssID");
      while (sqlite3_step(st) == SQLITE_ROW) {
        benchmark::DoNotOptimize(sqlite3_column_text(st, option));
        if (sqlite3_column_int64(st, id) == own_) ids = std::to_string(own_);
      }
      sqlite3_finalize(st);
    }
    if (!ids.empty()) {
      sqlite3_stmt* st =
          Prepare(db, "DELETE FROM SystemSetting WHERE ssID IN (" + ids + ") and ssModeName = ?");
      sqlite3_bind_text(st, 1, "Bench", -1, SQLITE_STATIC);
      Check(sqlite3_step(st), db, SQLITE_DONE);
      sqlite3_finalize(st);
    }
    Write();
    int count = 0;
    {
      sqlite3_stmt* st = Prepare(db, query);
      while (sqlite3_step(st) == SQLITE_ROW) ++count;
      sqlite3_finalize(st);
    }
    sqlite3_close(db);
    return count;
  }

 private:
  sqlite3* Open() {
    sqlite3* db = nullptr;
    Check(sqlite3_open_v2(path_.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr), db);
    sqlite3_busy_timeout(db, 10000);
    sqlite3_create_function_v2(db, "GETDATE", 0, SQLITE_UTF8, nullptr, GetDate, nullptr, nullptr,
                               nullptr);
    return db;
  }
  static void GetDate(sqlite3_context* context, int, sqlite3_value**) {
    sqlite3_result_text(context, "2026-03-07 09:05:02", -1, SQLITE_STATIC);
  }
  static sqlite3_stmt* Prepare(sqlite3* db, const std::string& sql) {
    sqlite3_stmt* st = nullptr;
    Check(sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr), db);
    return st;
  }
  static int Column(sqlite3_stmt* st, const char* name) {
    for (int i = 0; i < sqlite3_column_count(st); ++i) {
      if (sqlite3_stricmp(sqlite3_column_name(st, i), name) == 0) return i;
    }
    return -1;
  }
  static void ServerTime(sqlite3* db) {
    sqlite3_stmt* st = Prepare(db, "SELECT GETDATE() AS SystemDateTime");
    if (sqlite3_step(st) == SQLITE_ROW) benchmark::DoNotOptimize(sqlite3_column_text(st, 0));
    sqlite3_finalize(st);
  }
  // The writer: a connection of its own, the server time, one insert.
  void Write() {
    sqlite3* db = Open();
    ServerTime(db);
    sqlite3_stmt* st = Prepare(db,
                               "INSERT INTO SystemSetting (ssDesc, ssOption, ssState, ssModeName) "
                               "VALUES (?, ?, 0, 'Bench')");
    sqlite3_bind_text(st, 1, marker_.c_str(), -1, SQLITE_STATIC);
    sqlite3_bind_text(st, 2, sealed_.c_str(), -1, SQLITE_STATIC);
    Check(sqlite3_step(st), db, SQLITE_DONE);
    sqlite3_finalize(st);
    own_ = sqlite3_last_insert_rowid(db);
    sqlite3_close(db);
  }

  std::string path_;
  std::string marker_;
  std::string sealed_;
  int64_t own_ = -1;
};

void RunFloor(benchmark::State& state, int live, int unrelated) {
  BenchDatabase db(live, unrelated);
  Floor floor(db.path());
  for (auto _ : state) benchmark::DoNotOptimize(floor.Update());
}

// The update's own share per record: unsealing and classifying stored ssOption values.
void BM_ClassifyRecords(benchmark::State& state) {
  std::vector<db::Value> options(state.range(0));
  for (size_t i = 0; i < options.size(); ++i) {
    options[i] = SealPayload(FromUtf8("WS-" + std::to_string(i) + ",2026-3-7 9:05:02"));
  }
  RecordReader reader;
  const Text self = u"BENCH-SELF";
  for (auto _ : state) {
    int live = 0;
    for (const db::Value& option : options)
      live += reader.Classify(option, self) == RecordKind::kLive;
    benchmark::DoNotOptimize(live);
  }
}

// Unsealing alone, per record: ours (one pass of hex decoding with the kept keystream) against a
// reference of a plain table hex decoder and OpenSSL's RC4 from a copy of the keyed state.
std::vector<Text> SealedPayloads(size_t count) {
  std::vector<Text> sealed(count);
  for (size_t i = 0; i < count; ++i) {
    sealed[i] = SealPayload(FromUtf8("WS-" + std::to_string(i) + ",2026-3-7 9:05:02"));
  }
  return sealed;
}

void BM_UnsealRecord_Ours(benchmark::State& state) {
  const std::vector<Text> sealed = SealedPayloads(1000);
  ByteArray bytes;
  const Text key = kPresenceKey;
  for (auto _ : state) {
    for (const Text& hex : sealed) {
      SharedRC4().DecryptHex(hex, bytes, key);
      benchmark::DoNotOptimize(bytes->data());
    }
  }
  state.SetItemsProcessed(state.iterations() * sealed.size());
}

void BM_UnsealRecord_Reference(benchmark::State& state) {
  const std::vector<Text> sealed = SealedPayloads(1000);
  static constexpr auto kTable = [] {
    std::array<uint8_t, 128> table{};
    for (int c = '0'; c <= '9'; ++c) table[c] = static_cast<uint8_t>(c - '0');
    for (int c = 'A'; c <= 'F'; ++c) table[c] = static_cast<uint8_t>(c - 'A' + 10);
    for (int c = 'a'; c <= 'f'; ++c) table[c] = static_cast<uint8_t>(c - 'a' + 10);
    return table;
  }();
  RC4_KEY keyed;
  RC4_set_key(&keyed, 18, reinterpret_cast<const unsigned char*>("PresenceLedgerSeal"));
  std::vector<uint8_t> bytes;
  for (auto _ : state) {
    for (const Text& hex : sealed) {
      bytes.resize(hex.size() / 2);
      for (size_t k = 0; k < bytes.size(); ++k) {
        bytes[k] =
            static_cast<uint8_t>(kTable[hex[2 * k] & 127] << 4 | kTable[hex[2 * k + 1] & 127]);
      }
      RC4_KEY working = keyed;
      RC4(&working, bytes.size(), bytes.data(), bytes.data());
      benchmark::DoNotOptimize(bytes.data());
    }
  }
  state.SetItemsProcessed(state.iterations() * sealed.size());
}
BENCHMARK(BM_UnsealRecord_Ours);
BENCHMARK(BM_UnsealRecord_Reference);

void BM_Update(benchmark::State& state) { RunUpdates(state, state.range(0), 0); }
void BM_Floor(benchmark::State& state) { RunFloor(state, state.range(0), 0); }
void BM_UpdateBesideUnrelatedRows(benchmark::State& state) { RunUpdates(state, 1, state.range(0)); }

BENCHMARK(BM_ClassifyRecords)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Update)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Floor)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UpdateBesideUnrelatedRows)->Arg(0)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace wq::presence

BENCHMARK_MAIN();
