// Eight workstations, each one webquorrel process running 50 updates in a row, all at the same
// time against one database: on SQLite and on PostgreSQL through ODBC.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "presence/record.h"
#include "tests/cli/child_process.h"
#include "tests/presence/test_database.h"

namespace wq::testing {
namespace {

constexpr int kWorkstations = 8;
constexpr int kUpdates = 50;

class Load : public ::testing::TestWithParam<TestEngine> {};

TEST_P(Load, EveryWorkstationEndsWithOneRecordAndNothingElseChanges) {
  std::unique_ptr<TestDatabase> db = GetParam().make();
  if (!db) GTEST_SKIP() << GetParam().name << " is not available here";
  const std::string conn = db->ConnectionString();
  ASSERT_EQ(RunCommand({"init", "--conn", conn}).status, 0);
  for (int i = 1; i <= 3; ++i) {
    db->Insert({std::nullopt, "Setting" + std::to_string(i), "value " + std::to_string(i),
                std::string("Main"), i});
  }
  const std::string others =
      "SELECT ssID, ssDesc, ssOption, ssModeName, ssState FROM SystemSetting "
      "WHERE ssDesc <> '" +
      ToUtf8(presence::PresenceMarker()) + "' ORDER BY ssID";
  const auto unrelated = db->Query(others);

  std::vector<std::unique_ptr<ChildProcess>> workstations;
  for (int w = 0; w < kWorkstations; ++w) {
    workstations.push_back(std::make_unique<ChildProcess>(
        std::vector<std::string>{"update", "--conn", conn, "--state", "2", "--module", "Load",
                                 "--repeat", std::to_string(kUpdates)},
        std::vector<std::string>{"WEBQUORREL_COMPUTERNAME=WS-" + std::to_string(w)},
        TempPath("load-" + GetParam().name + std::to_string(w))));
  }
  for (int w = 0; w < kWorkstations; ++w) {
    ChildProcess& ws = *workstations[w];
    EXPECT_EQ(ws.Wait(), 0) << "WS-" << w << ": " << ws.Err();
    const std::vector<std::string> counts = ws.OutLines();
    ASSERT_EQ(counts.size(), static_cast<size_t>(kUpdates)) << "WS-" << w;
    for (const std::string& count : counts) {
      // Its own record and those of the others that have registered so far.
      EXPECT_GE(std::stoi(count), 1) << "WS-" << w;
      EXPECT_LE(std::stoi(count), kWorkstations) << "WS-" << w;
    }
  }

  std::map<std::string, int> records;
  for (const auto& row : db->Query("SELECT ssOption FROM SystemSetting WHERE ssDesc = '" +
                                   ToUtf8(presence::PresenceMarker()) + "'")) {
    const std::string payload = ToUtf8(presence::UnsealPayload(FromUtf8(row[0].value())));
    ++records[payload.substr(0, payload.find(','))];
  }
  EXPECT_EQ(records.size(), static_cast<size_t>(kWorkstations));
  for (const auto& [name, count] : records) EXPECT_EQ(count, 1) << name;
  CommandResult check =
      RunCommand({"update", "--conn", conn, "--state", "0"}, {"WEBQUORREL_COMPUTERNAME=WS-CHECK"});
  EXPECT_EQ(check.status, 0) << check.err;
  EXPECT_EQ(check.out, std::to_string(kWorkstations) + "\n");
  EXPECT_EQ(db->Query(others), unrelated);
}

INSTANTIATE_TEST_SUITE_P(Engines, Load, ::testing::Values(SqliteEngine(), PostgresEngine()),
                         [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace wq::testing
