// The presence update on the loopback PostgreSQL server through ODBC: latency with the engine's
// own connection pool against without it, and what one update costs the server in
// statements and connections, counted from the server's statement log.
//
//   scripts/bench-postgres            (starts a private cluster, then runs this)
//   WEBQUORREL_TEST_PG_CONN=... WEBQUORREL_TEST_PG_LOG=...
//   build/bench/db/odbc/postgres_update_bench
//
// Each benchmark is one process running 200 updates in a row as one workstation (state 2, the
// module Bench), beside 8 live records of other workstations. "Unpooled" opens the same driver
// under the odbcinst.ini entry "PostgreSQL Unicode NoPool" (CPTimeout=-1, so the driver manager
// keeps nothing either) with ADO's "OLE DB Services=-2" (no pooling by the engine).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "platform/db/register.h"
#include "platform/db/connection_string.h"
#include "presence/record.h"
#include "presence/update.h"

namespace wq {
namespace {

constexpr int kUpdates = 200;

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

Text WithDriver(const Text& conn, TextView driver) {
  Text out;
  const db::ConnectionString parsed = db::ConnectionString::Parse(conn);
  for (const auto& [key, value] : parsed.pairs()) {
    db::AppendPair(out, key, EqualsIgnoreCase(key, u"Driver") ? Text(driver) : value);
  }
  return out;
}

// Lines of the server log that record a statement or a new connection, from a point on.
struct LogCounts {
  long statements = 0;
  long connections = 0;
};

class ServerLog {
 public:
  explicit ServerLog(std::string path) : path_(std::move(path)) { start_ = Size(); }
  LogCounts Since() const {
    LogCounts counts;
    std::ifstream in(path_);
    in.seekg(start_);
    for (std::string line; std::getline(in, line);) {
      if (line.find("LOG:  statement: ") != std::string::npos ||
          line.find("LOG:  execute ") != std::string::npos) {
        ++counts.statements;
      } else if (line.find("connection authorized") != std::string::npos) {
        ++counts.connections;
      }
    }
    return counts;
  }

 private:
  std::streamoff Size() const {
    std::ifstream in(path_, std::ios::ate);
    return in ? static_cast<std::streamoff>(in.tellg()) : 0;
  }
  std::string path_;
  std::streamoff start_ = 0;
};

void Prepare(const Text& conn) {
  auto db = db::Register::Open(conn);
  db->RunSchemaStatement(u"DELETE FROM SystemSetting WHERE ssDesc = '" +
                         presence::PresenceMarker() + u"'");
  for (int i = 0; i < 8; ++i) {
    db->Add(presence::PresenceMarker(),
            presence::SealPayload(FromUtf8("WS-" + std::to_string(i) + ",2026-3-7 9:05:02")), 0,
            u"Bench");
  }
}

void BM_Update(benchmark::State& state, bool pooled) {
  const std::string conn_env = Env("WEBQUORREL_TEST_PG_CONN");
  if (conn_env.empty()) {
    state.SkipWithError("WEBQUORREL_TEST_PG_CONN is not set (see scripts/bench-postgres)");
    return;
  }
  const Text conn =
      pooled ? FromUtf8(conn_env)
             : WithDriver(FromUtf8(conn_env), u"PostgreSQL Unicode NoPool") + u"OLE DB Services=-2";
  Prepare(conn);
  ServerLog log(Env("WEBQUORREL_TEST_PG_LOG"));
  for (auto _ : state) {
    presence::UpdateResult result = presence::UpdateOnlineState(conn, 2, u"Bench", false);
    if (!result.ok()) {
      state.SkipWithError(result.error->what());
      return;
    }
    if (result.count != 9) {
      state.SkipWithError("unexpected count");
      return;
    }
  }
  if (!Env("WEBQUORREL_TEST_PG_LOG").empty()) {
    LogCounts counts = log.Since();
    const double updates = static_cast<double>(state.iterations());
    state.counters["statements_per_update"] = counts.statements / updates;
    state.counters["connections_per_update"] = counts.connections / updates;
  }
}

BENCHMARK_CAPTURE(BM_Update, pooled, true)
    ->Iterations(kUpdates)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Update, unpooled, false)
    ->Iterations(kUpdates)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace wq

BENCHMARK_MAIN();
