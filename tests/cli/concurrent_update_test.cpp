// Several webquorrel processes, each a workstation of its own, updating one database file at
// the same time.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "presence/record.h"

extern char** environ;

namespace wq {
namespace {

// Starts the command with extra environment entries; returns its process id.
pid_t Spawn(const std::vector<std::string>& args, const std::vector<std::string>& extraEnv) {
  std::vector<std::string> env = extraEnv;
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
  const int rc = posix_spawn(&pid, WEBQUORREL_EXE, &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  return rc == 0 ? pid : -1;
}

TEST(ConcurrentUpdate, EveryWorkstationEndsWithOneRecord) {
  const char* root = std::getenv("WEBQUORREL_TEST_TMP");
  std::string dir = std::string(root != nullptr && *root ? root : "/tmp") + "/wq-conc-XXXXXX";
  ASSERT_NE(mkdtemp(dir.data()), nullptr);
  const std::string file = dir + "/p.db";
  const std::string conn = "Provider=SQLite;Data Source=" + file;

  pid_t init = Spawn({"init", "--conn", conn}, {});
  int status = 0;
  ASSERT_EQ(waitpid(init, &status, 0), init);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

  // Each workstation registers several times in a row; all workstations run at once.
  constexpr int kWorkstations = 8;
  constexpr int kRounds = 4;
  for (int round = 0; round < kRounds; ++round) {
    std::vector<pid_t> pids;
    for (int w = 0; w < kWorkstations; ++w) {
      pids.push_back(Spawn({"update", "--conn", conn, "--state", "2", "--module", "M"},
                           {"WEBQUORREL_COMPUTERNAME=WS-" + std::to_string(w)}));
      ASSERT_GT(pids.back(), 0);
    }
    for (pid_t pid : pids) {
      ASSERT_EQ(waitpid(pid, &status, 0), pid);
      EXPECT_TRUE(WIFEXITED(status)) << "round " << round;
      EXPECT_EQ(WEXITSTATUS(status), 0) << "round " << round;
    }
  }

  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
  sqlite3_stmt* st = nullptr;
  const std::string marker = ToUtf8(presence::PresenceMarker());
  ASSERT_EQ(sqlite3_prepare_v2(db, "SELECT ssOption FROM SystemSetting WHERE ssDesc = ?", -1, &st,
                               nullptr),
            SQLITE_OK);
  sqlite3_bind_text(st, 1, marker.c_str(), -1, SQLITE_TRANSIENT);
  std::map<std::string, int> perWorkstation;
  while (sqlite3_step(st) == SQLITE_ROW) {
    const Text payload = presence::UnsealPayload(
        FromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0))));
    ++perWorkstation[ToUtf8(payload.substr(0, payload.find(u',')))];
  }
  sqlite3_finalize(st);
  sqlite3_close(db);
  EXPECT_EQ(perWorkstation.size(), static_cast<size_t>(kWorkstations));
  for (const auto& [name, count] : perWorkstation) EXPECT_EQ(count, 1) << name;
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace wq
