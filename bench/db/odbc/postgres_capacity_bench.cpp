// How many workstations one PostgreSQL server carries: M workstations (threads of this process,
// each its own workstation name, each updating as fast as it can for a few seconds) beside N
// live presence records of others, on the loopback server through ODBC with the driver
// manager's pool (as a host process keeps its connections). Reports updates per second, the
// median and 99th percentile latency, and the server's CPU time per update, read from
// /proc for the postmaster and its children (reaped backends count through the postmaster's
// children's times).
//
//   scripts/bench-postgres --benchmark_filter=Capacity --benchmark_repetitions=3
//   (needs WEBQUORREL_TEST_PG_CONN and WEBQUORREL_TEST_PG_CTL, the cluster's control script)
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/db/odbc/live_records.h"
#include "platform/db/register.h"
#include "platform/env/env.h"
#include "presence/record.h"
#include "presence/update.h"

namespace wq {
namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kRun = std::chrono::seconds(4);

// Each thread is its own workstation.
thread_local std::string t_name = "CAP-0";
class ThreadNameEnv final : public Env {
 public:
  bool GetComputerNameA(char* buffer, uint32_t size) override {
    std::snprintf(buffer, size, "%s", t_name.c_str());
    return true;
  }
  void ShowMessage(const Text&) override {}
};

// Clock ticks of CPU used by the cluster: the postmaster, its reaped children and its live ones.
long long ServerTicks(pid_t postmaster) {
  auto times = [](const std::string& stat, bool children) {
    std::ifstream in(stat);
    std::string text((std::istreambuf_iterator<char>(in)), {});
    const size_t close = text.rfind(')');
    if (close == std::string::npos) return std::pair<pid_t, long long>{0, 0};
    std::istringstream fields(text.substr(close + 2));
    std::vector<std::string> f((std::istream_iterator<std::string>(fields)), {});
    // After the name: state(0) ppid(1) ... utime(11) stime(12) cutime(13) cstime(14).
    long long ticks = std::stoll(f[11]) + std::stoll(f[12]);
    if (children) ticks += std::stoll(f[13]) + std::stoll(f[14]);
    return std::pair<pid_t, long long>{static_cast<pid_t>(std::stol(f[1])), ticks};
  };
  long long total = times("/proc/" + std::to_string(postmaster) + "/stat", true).second;
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    const std::string name = entry.path().filename();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    try {
      const auto [parent, ticks] = times(entry.path() / "stat", false);
      if (parent == postmaster) total += ticks;
    } catch (...) {  // the process ended meanwhile
    }
  }
  return total;
}

pid_t Postmaster() {
  const char* ctl = std::getenv("WEBQUORREL_TEST_PG_CTL");
  if (ctl == nullptr) return 0;
  std::ifstream in(std::filesystem::path(ctl).parent_path() / "data" / "postmaster.pid");
  pid_t pid = 0;
  in >> pid;
  return pid;
}

void BM_Capacity(benchmark::State& state) {
  const char* env = std::getenv("WEBQUORREL_TEST_PG_CONN");
  const pid_t postmaster = Postmaster();
  if (env == nullptr || *env == '\0' || postmaster == 0) {
    state.SkipWithError("WEBQUORREL_TEST_PG_CONN or WEBQUORREL_TEST_PG_CTL is not set");
    return;
  }
  const Text conn = FromUtf8(env);
  const int live = static_cast<int>(state.range(0));
  const int updaters = static_cast<int>(state.range(1));
  static ThreadNameEnv threadNames;
  Env::SetDefault(&threadNames);
  bench::FillLiveRecords(conn, live, u"Cap");
  for (auto _ : state) {
    std::vector<std::vector<double>> latencies(updaters);
    std::atomic<int> failures{0};
    const long long ticksBefore = ServerTicks(postmaster);
    const Clock::time_point start = Clock::now();
    std::vector<std::thread> threads;
    for (int w = 0; w < updaters; ++w) {
      threads.emplace_back([&, w] {
        t_name = "CAP-" + std::to_string(w);
        while (Clock::now() - start < kRun) {
          const Clock::time_point t0 = Clock::now();
          if (!presence::UpdateOnlineState(conn, 2, u"Cap", false).ok()) ++failures;
          latencies[w].push_back(
              std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
        }
      });
    }
    for (auto& t : threads) t.join();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const long long ticks = ServerTicks(postmaster) - ticksBefore;
    std::vector<double> all;
    for (const auto& l : latencies) all.insert(all.end(), l.begin(), l.end());
    std::sort(all.begin(), all.end());
    if (all.empty() || failures > 0) {
      state.SkipWithError("updates failed");
      break;
    }
    state.SetIterationTime(seconds);
    state.counters["updates_per_s"] = all.size() / seconds;
    state.counters["p50_ms"] = all[all.size() / 2];
    state.counters["p99_ms"] = all[std::min(all.size() - 1, all.size() * 99 / 100)];
    state.counters["server_cpu_ms_per_update"] =
        1000.0 * ticks / sysconf(_SC_CLK_TCK) / static_cast<double>(all.size());
  }
  Env::SetDefault(nullptr);
}
BENCHMARK(BM_Capacity)
    ->ArgsProduct({{100, 1000, 5000}, {1, 8, 32}})
    ->ArgNames({"records", "updaters"})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

}  // namespace
}  // namespace wq

BENCHMARK_MAIN();
