// Adding one row through a keyset result opened on "SELECT * FROM SystemSetting", as the
// presence writer does, on a table holding 0 or 100,000 unrelated rows. The keyset reads no
// rows when it is only used to add one, so both should take about the same time; the
// vm_steps counter shows the work the engine did per added row.
//
//   build/bench/db/db_bench
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/db/connection.h"
#include "platform/db/sqlite/statistics.h"

namespace wq::db {
namespace {

class TempDatabase {
 public:
  explicit TempDatabase(int64_t unrelated_rows) {
    const char* base = std::getenv("WEBQUORREL_TEST_TMP");
    std::string pattern =
        (base && *base ? std::filesystem::path(base) : std::filesystem::temp_directory_path()) /
        "wq-db-bench-XXXXXX";
    if (!mkdtemp(pattern.data())) std::abort();
    dir_ = pattern;
    connection_string_ = u"Provider=SQLite;Data Source=" + FromUtf8((dir_ / "b.db").string());
    auto conn = Connection::Open(connection_string_);
    conn->Execute(
        u"CREATE TABLE SystemSetting (ssID INTEGER PRIMARY KEY AUTOINCREMENT, ssDesc TEXT, "
        u"ssOption TEXT, ssState INTEGER, ssModeName TEXT)");
    conn->Execute(
        u"WITH RECURSIVE n(i) AS (SELECT 1 WHERE ? > 0 UNION ALL SELECT i + 1 FROM n "
        u"WHERE i < ?) "
        u"INSERT INTO SystemSetting (ssDesc, ssOption, ssState, ssModeName) "
        u"SELECT 'setting ' || i, printf('%040d', i), 0, 'host' FROM n",
        {unrelated_rows, unrelated_rows});
  }
  ~TempDatabase() {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }
  const Text& connection_string() const { return connection_string_; }

 private:
  std::filesystem::path dir_;
  Text connection_string_;
};

void AddRow(Connection& conn) {
  auto rs = conn.OpenKeyset(u"SELECT * FROM SystemSetting");
  rs->AddNew();
  rs->SetField(u"ssDesc", u"0123456789abcdef0123456789abcdef");
  rs->SetField(u"ssOption", u"8E0F3C5A77D1E2B49A0C6F1E3D5B7A9C8E0F3C5A77D1");
  rs->SetField(u"ssState", int16_t{1});
  rs->SetField(u"ssModeName", u"Ward");
  rs->Update();
  rs->Close();
}

// The keyset alone, on one open connection.
void BM_KeysetAddRow(benchmark::State& state) {
  TempDatabase db(state.range(0));
  auto conn = Connection::Open(db.connection_string());
  const uint64_t steps = sqlite::VmSteps();
  for (auto _ : state) AddRow(*conn);
  state.counters["vm_steps"] = benchmark::Counter(static_cast<double>(sqlite::VmSteps() - steps),
                                                  benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_KeysetAddRow)->ArgName("unrelated_rows")->Arg(0)->Arg(100000);

// The writer's whole path: its own connection, the server time, then the keyset.
void BM_WriterPath(benchmark::State& state) {
  TempDatabase db(state.range(0));
  // The update's own connection stays open while the writer works.
  auto update = Connection::Open(db.connection_string());
  const uint64_t steps = sqlite::VmSteps();
  for (auto _ : state) {
    auto conn = Connection::Open(db.connection_string());
    auto time = conn->Execute(u"SELECT GETDATE() AS SystemDateTime");
    benchmark::DoNotOptimize(time->Field(u"SystemDateTime"));
    time->Close();
    AddRow(*conn);
    conn->Close();
  }
  state.counters["vm_steps"] = benchmark::Counter(static_cast<double>(sqlite::VmSteps() - steps),
                                                  benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_WriterPath)->ArgName("unrelated_rows")->Arg(0)->Arg(100000);

}  // namespace
}  // namespace wq::db

BENCHMARK_MAIN();
