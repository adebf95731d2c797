// What each presence record adds to an update on the loopback PostgreSQL server through ODBC:
// one process, unpooled, updating as one workstation beside N live records of others. The cost
// per record is the slope between two sizes, (time at 10000 - time at 100) / 9900.
//
//   scripts/bench-postgres --benchmark_filter=Records --benchmark_repetitions=5
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

#include "platform/db/connection.h"
#include "platform/db/connection_string.h"
#include "presence/record.h"
#include "presence/update.h"

namespace wq {
namespace {

Text Unpooled(const std::string& conn) {
  Text out;
  const db::ConnectionString parsed = db::ConnectionString::Parse(FromUtf8(conn));
  for (const auto& [key, value] : parsed.pairs()) {
    db::AppendPair(out, key,
                   EqualsIgnoreCase(key, u"Driver") ? u"PostgreSQL Unicode NoPool" : value);
  }
  return out;
}

// N live records of other workstations, written with one statement per thousand rows (the
// sealed payloads and the marker are hex digits only).
void Prepare(const Text& conn, int live) {
  auto db = db::Connection::Open(conn);
  const Text marker = presence::PresenceMarker();
  db->Execute(u"DELETE FROM SystemSetting WHERE ssDesc = ?", {marker});
  for (int first = 0; first < live; first += 1000) {
    Text sql = u"INSERT INTO SystemSetting (ssDesc, ssOption, ssState, ssModeName) VALUES ";
    for (int i = first; i < std::min(live, first + 1000); ++i) {
      if (i > first) sql += u",";
      sql += u"('" + marker + u"','" +
             presence::SealPayload(FromUtf8("WS-" + std::to_string(i) + ",2026-3-7 9:05:02")) +
             u"',0,'Bench')";
    }
    db->Execute(sql);
  }
  db->Close();
}

void BM_UpdateBesideRecords(benchmark::State& state) {
  const char* env = std::getenv("WEBQUORREL_TEST_PG_CONN");
  if (env == nullptr || *env == '\0') {
    state.SkipWithError("WEBQUORREL_TEST_PG_CONN is not set (see scripts/bench-postgres)");
    return;
  }
  const Text conn = Unpooled(env);
  const int live = static_cast<int>(state.range(0));
  Prepare(conn, live);
  for (auto _ : state) {
    presence::UpdateResult result = presence::RunUpdate(conn, 2, u"Bench", false);
    if (!result.ok() || result.count != live + 1) {
      state.SkipWithError(result.ok() ? "unexpected count" : result.error->what());
      return;
    }
  }
  state.counters["records"] = live;
}
BENCHMARK(BM_UpdateBesideRecords)
    ->Arg(100)
    ->Arg(10000)
    ->Iterations(20)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace wq

BENCHMARK_MAIN();
