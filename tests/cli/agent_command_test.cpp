// The agent as a process: it registers and re-registers, withdraws on SIGTERM and SIGINT, and
// rides out a database that is gone for a while.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/cli/ops_fixture.h"

namespace wq::testing {
namespace {

using ::testing::ContainsRegex;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

class Agent : public OpsCommands {
 protected:
  std::unique_ptr<ChildProcess> Start(const std::vector<std::string>& args,
                                      const std::string& ws = "PC-AGENT") {
    std::vector<std::string> all = {"agent"};
    all.insert(all.end(), args.begin(), args.end());
    return std::make_unique<ChildProcess>(all, Env(ws), dir_ / ("agent-" + ws));
  }
  // The ssIDs of the agent's records.
  std::vector<std::string> AgentIds() {
    std::vector<std::string> ids;
    const auto presence = Presence();
    const auto rows = Sql("SELECT ssID FROM SystemSetting WHERE ssDesc = ? ORDER BY ssID",
                          {ToUtf8(presence::PresenceMarker())});
    for (size_t i = 0; i < rows.size() && i < presence.size(); ++i) {
      if (presence[i].starts_with("PC-AGENT|")) ids.push_back(*rows[i][0]);
    }
    return ids;
  }
};

TEST_F(Agent, RegistersEveryIntervalAndWithdrawsOnSigterm) {
  AddRecord("PC-OTHER,2026-3-7 9:05:02", "Sales");
  auto agent = Start({"--module", "Sales", "--login", "--interval", "1"});
  ASSERT_TRUE(WaitFor([&] { return AgentIds().size() == 1; })) << agent->Err();
  const std::string first = AgentIds()[0];
  EXPECT_THAT(Presence(), ElementsAre("PC-OTHER|Sales|0", "PC-AGENT|Sales|1"));
  // Each update replaces the record with a fresh one.
  ASSERT_TRUE(WaitFor([&] {
    auto ids = AgentIds();
    return ids.size() == 1 && ids[0] != first;
  })) << agent->Err();

  agent->Signal(SIGTERM);
  EXPECT_EQ(agent->WaitExit(), 0) << agent->Err();
  EXPECT_THAT(Presence(), ElementsAre("PC-OTHER|Sales|0"));
  EXPECT_THAT(agent->Out(), HasSubstr("registered in module \"Sales\" (2 presence records)\n"));
  EXPECT_THAT(agent->Out(),
              ContainsRegex("stopping on SIGTERM after [0-9]+ updates \\(0 failed\\)\n"
                            "withdrew from module \"Sales\""));
  EXPECT_EQ(agent->Err(), "");
}

TEST_F(Agent, WithdrawsOnlyFromItsModuleOnSigint) {
  ASSERT_EQ(Run({"update", "--state", "2", "--module", "Inventory"}, "PC-AGENT").status, 0);
  auto agent = Start({"--module", "Sales"});  // the default interval: one update, then waits
  ASSERT_TRUE(WaitFor([&] { return AgentIds().size() == 2; })) << agent->Err();
  agent->Signal(SIGINT);
  EXPECT_EQ(agent->WaitExit(), 0) << agent->Err();
  EXPECT_THAT(Presence(), ElementsAre("PC-AGENT|Inventory|0"));
}

TEST_F(Agent, SurvivesADatabaseThatIsGoneForAWhile) {
  auto agent = Start({"--module", "Sales", "--interval", "1"});
  ASSERT_TRUE(WaitFor([&] { return AgentIds().size() == 1; })) << agent->Err();

  // The database's folder disappears: every update fails until it is back.
  std::filesystem::rename(dir_ / "db", dir_ / "away");
  ASSERT_TRUE(WaitFor([&] {
    const std::string err = agent->Err();
    return err.find("update failed") != err.rfind("update failed");  // at least two
  })) << agent->Err();
  EXPECT_FALSE(agent->Poll().has_value()) << "the agent must keep running";
  EXPECT_THAT(agent->Err(), HasSubstr("webquorrel agent: update failed, retrying in 1 s: "));

  // Meanwhile its record was removed; once the database is back, it registers again.
  std::filesystem::rename(dir_ / "away", dir_ / "db");
  Sql("DELETE FROM SystemSetting");
  ASSERT_TRUE(WaitFor([&] { return AgentIds().size() == 1; })) << agent->Err();
  ASSERT_TRUE(WaitFor([&] { return agent->Out().find("failed updates)") != std::string::npos; }));
  EXPECT_THAT(agent->Out(),
              HasSubstr("registered in module \"Sales\" (1 presence records, after "));

  agent->Signal(SIGTERM);
  EXPECT_EQ(agent->WaitExit(), 0) << agent->Err();
  EXPECT_TRUE(Presence().empty());
}

TEST_F(Agent, AFailedWithdrawalIsNotReportedAsSuccess) {
  auto agent = Start({"--module", "Sales", "--interval", "1"});
  ASSERT_TRUE(WaitFor([&] { return AgentIds().size() == 1; })) << agent->Err();
  std::filesystem::rename(dir_ / "db", dir_ / "away");
  agent->Signal(SIGTERM);
  EXPECT_EQ(agent->WaitExit(), 1);
  EXPECT_THAT(agent->Err(),
              HasSubstr("webquorrel agent: could not withdraw from module \"Sales\""));
}

TEST_F(Agent, RefusesBadArguments) {
  EXPECT_EQ(Run({"agent"}).status, 2);  // --module is required
  for (const char* interval : {"0", "-5", "86401", "1.5", "x"}) {
    EXPECT_EQ(Run({"agent", "--module", "Sales", "--interval", interval}).status, 2) << interval;
  }
  // A connection string that no retry can mend ends the agent at once; a server that is not there
  // yet is retried (see SurvivesADatabaseThatIsGoneForAWhile).
  for (const char* conn : {"Provider=Nothing;Password=secret", "Data Source='open", "x"}) {
    const CommandResult r = Run({"agent", "--module", "Sales", "--conn", conn});
    EXPECT_EQ(r.status, 2) << conn;
    EXPECT_THAT(r.err, HasSubstr("webquorrel agent: cannot start, no retry would help: ")) << conn;
    EXPECT_THAT(r.err, Not(HasSubstr("secret")));
  }
  EXPECT_TRUE(Presence().empty());
}

}  // namespace
}  // namespace wq::testing
