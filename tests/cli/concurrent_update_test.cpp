// Several webquorrel processes, each a workstation of its own, updating one database file at
// the same time.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "presence/record.h"
#include "tests/cli/child_process.h"

namespace wq {
namespace {

using testing::ChildProcess;
using testing::RunCommand;
using testing::TempPath;

TEST(ConcurrentUpdate, EveryWorkstationEndsWithOneRecord) {
  const std::filesystem::path dir = testing::MakeTempDir("conc");
  const std::string file = (dir / "p.db").string();
  const std::string conn = "Provider=SQLite;Data Source=" + file;

  ASSERT_EQ(RunCommand({"init", "--conn", conn}).status, 0);

  // Each workstation registers several times in a row; all workstations run at once.
  constexpr int kWorkstations = 8;
  constexpr int kRounds = 4;
  for (int round = 0; round < kRounds; ++round) {
    std::vector<std::unique_ptr<ChildProcess>> workstations;
    for (int w = 0; w < kWorkstations; ++w) {
      workstations.push_back(std::make_unique<ChildProcess>(
          std::vector<std::string>{"update", "--conn", conn, "--state", "2", "--module", "M"},
          std::vector<std::string>{"WEBQUORREL_COMPUTERNAME=WS-" + std::to_string(w)},
          TempPath("conc-" + std::to_string(w))));
    }
    for (auto& ws : workstations) EXPECT_EQ(ws->Wait(), 0) << "round " << round << ws->Err();
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
