// Updates per second when eight workstations update one database at the same time, each one
// webquorrel process running 50 updates in a row: on a SQLite file and on the loopback
// PostgreSQL server through ODBC (WEBQUORREL_TEST_PG_CONN; see scripts/bench-postgres).
//
//   build/bench/db/odbc/load_bench
//
// Each iteration starts the eight processes and waits for all of them; updates_per_second is
// 400 over the wall time of the iteration, process start-up included.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/db/register.h"
#include "presence/record.h"

extern char** environ;

namespace wq {
namespace {

constexpr int kWorkstations = 8;
constexpr int kUpdates = 50;

pid_t Spawn(const std::vector<std::string>& args, const std::string& extra_env) {
  std::vector<std::string> env;
  if (!extra_env.empty()) env.push_back(extra_env);
  for (char** e = environ; *e != nullptr; ++e) env.emplace_back(*e);
  std::vector<char*> argv = {const_cast<char*>(WEBQUORREL_EXE)};
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  if (posix_spawn(&pid, WEBQUORREL_EXE, &actions, nullptr, argv.data(), envp.data()) != 0) {
    pid = -1;
  }
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

// Runs the command to the end; true when it exits with 0.
bool Run(const std::vector<std::string>& args) {
  pid_t pid = Spawn(args, "");
  int status = 0;
  return pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) &&
         WEXITSTATUS(status) == 0;
}

void EightWorkstations(benchmark::State& state, const std::string& conn) {
  if (!Run({"init", "--conn", conn})) {
    state.SkipWithError("init failed");
    return;
  }
  db::Register::Open(FromUtf8(conn))
      ->RunSchemaStatement(u"DELETE FROM SystemSetting WHERE ssDesc = '" +
                           presence::PresenceMarker() + u"'");
  double seconds = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    std::vector<pid_t> pids;
    for (int w = 0; w < kWorkstations; ++w) {
      pids.push_back(Spawn({"update", "--conn", conn, "--state", "2", "--module", "Load",
                            "--repeat", std::to_string(kUpdates)},
                           "WEBQUORREL_COMPUTERNAME=LOAD-" + std::to_string(w)));
    }
    bool ok = true;
    for (pid_t pid : pids) {
      int status = 0;
      ok = ok && pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
    }
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    state.SetIterationTime(elapsed.count());
    seconds += elapsed.count();
    if (!ok) {
      state.SkipWithError("an update failed");
      return;
    }
  }
  state.counters["updates_per_second"] =
      static_cast<double>(state.iterations()) * kWorkstations * kUpdates / seconds;
}

void BM_Sqlite(benchmark::State& state) {
  const char* root = std::getenv("WEBQUORREL_TEST_TMP");
  const std::filesystem::path dir = std::filesystem::path(root && *root ? root : "/tmp") /
                                    ("wq-load-bench-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  EightWorkstations(state, "Provider=SQLite;Data Source=" + (dir / "p.db").string());
  std::filesystem::remove_all(dir);
}

void BM_Postgres(benchmark::State& state) {
  const char* conn = std::getenv("WEBQUORREL_TEST_PG_CONN");
  if (!conn || !*conn) {
    state.SkipWithError("WEBQUORREL_TEST_PG_CONN is not set (see scripts/bench-postgres)");
    return;
  }
  EightWorkstations(state, conn);
}

BENCHMARK(BM_Sqlite)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Postgres)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace wq

BENCHMARK_MAIN();
