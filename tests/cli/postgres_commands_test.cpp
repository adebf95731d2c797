// The update, list and init subcommands on PostgreSQL through ODBC: the schema from init, and a
// server that stops before or during a run. The fault cases stop and start a cluster of their
// own (WEBQUORREL_TEST_PG_FAULT_CONN and _CTL, which scripts/test sets).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <algorithm>
#include <csignal>
#include <set>
#include <thread>
#include <unistd.h>

#include "platform/db/register.h"
#include "platform/db/connection_string.h"
#include "tests/cli/child_process.h"
#include "tests/pg_fault_cluster.h"
#include "tests/postgres_required.h"
#include "tests/presence/test_database.h"

namespace wq::testing {
namespace {

using ::testing::AllOf;
using ::testing::HasSubstr;
using ::testing::Not;

TEST(PostgresCommands, InitCreatesTheTableOnceAndTheCommandsUseIt) {
  std::unique_ptr<TestDatabase> db = PostgresEngine().make();
  if (!db)
    WQ_SKIP_WITHOUT_POSTGRES() << "WEBQUORREL_TEST_PG_CONN is not set (scripts/test sets it)";
  const std::string conn = db->ConnectionString();
  for (const char* says : {"SystemSetting created, with its index on ssDesc\n",
                           "SystemSetting exists already: left as it is\n"}) {
    CommandResult init = RunCommand({"init", "--conn", conn});
    ASSERT_EQ(init.status, 0) << init.err;
    EXPECT_EQ(init.out, says);
  }
  EXPECT_EQ(db->Query("SELECT count(*) FROM pg_indexes WHERE tablename = 'systemsetting'")[0][0],
            "2");  // the key's and ssDesc's
  CommandResult update = RunCommand({"update", "--conn", conn, "--state", "2", "--module", "模块"},
                                    {"WEBQUORREL_COMPUTERNAME=PC-7"});
  ASSERT_EQ(update.status, 0) << update.err;
  EXPECT_EQ(update.out, "1\n");
  CommandResult list = RunCommand({"list", "--conn", conn});
  ASSERT_EQ(list.status, 0) << list.err;
  EXPECT_THAT(list.out, AllOf(HasSubstr("PC-7"), HasSubstr("模块")));
  // The table's key is the database's own, and GETDATE() is the server's clock as a date.
  EXPECT_EQ(db->Query("SELECT count(*) FROM SystemSetting WHERE ssID IS NOT NULL")[0][0], "1");
  EXPECT_EQ(db->Query("SELECT pg_typeof(getdate())::text")[0][0], "timestamp without time zone");
}

// The host's table, with its own columns and indexes, is left exactly as it was.
// The agent logs in once and holds one server connection between its updates while its
// interval is below the idle limit; once it withdraws and ends, no session is left.
TEST(PostgresCommands, AgentLogsInOnceAndHoldsOneConnection) {
  std::unique_ptr<TestDatabase> db = PostgresEngine().make();
  if (!db)
    WQ_SKIP_WITHOUT_POSTGRES() << "WEBQUORREL_TEST_PG_CONN is not set (scripts/test sets it)";
  db->CreateSchema();
  const std::string app = "wq-agent-" + std::to_string(getpid());
  const std::string conn = db->ConnectionString() + ";pqopt={application_name=" + app + "}";
  const std::string sessions =
      "SELECT coalesce(string_agg(pid::text, ',' ORDER BY pid), '') FROM pg_stat_activity "
      "WHERE application_name = '" + app + "'";
  ChildProcess agent({"agent", "--conn", conn, "--module", "Sales", "--interval", "1"},
                     {"WEBQUORREL_COMPUTERNAME=AGENT-1"}, TempPath("agent-logins"));
  std::set<std::string> seen;  // every backend seen over the run
  size_t most = 0;             // the most at one time
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(5500);
  while (std::chrono::steady_clock::now() < until) {
    const std::string pids = *db->Query(sessions)[0][0];
    std::set<std::string> now;
    for (size_t at = 0; at < pids.size();) {
      const size_t comma = std::min(pids.find(',', at), pids.size());
      now.insert(pids.substr(at, comma - at));
      at = comma + 1;
    }
    most = std::max(most, now.size());
    seen.insert(now.begin(), now.end());
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  agent.Signal(SIGTERM);
  ASSERT_EQ(agent.WaitExit(), 0) << agent.Err();
  const std::string out = agent.Out();
  const size_t after = out.find(" after ");
  ASSERT_NE(after, std::string::npos) << out;
  EXPECT_GE(std::atoi(out.c_str() + after + 7), 5) << out;
  EXPECT_THAT(out, HasSubstr(" updates (0 failed)"));
  EXPECT_EQ(seen.size(), 1u);
  EXPECT_EQ(most, 1u);
  EXPECT_EQ(*db->Query(sessions)[0][0], "");
}

TEST(PostgresCommands, InitLeavesAnExistingTableAndItsIndexesAlone) {
  std::unique_ptr<TestDatabase> db = PostgresEngine().make();
  if (!db)
    WQ_SKIP_WITHOUT_POSTGRES() << "WEBQUORREL_TEST_PG_CONN is not set (scripts/test sets it)";
  db->CreateSchema(Layout::kExtraColumns);
  db->Exec("CREATE INDEX host_note ON SystemSetting (ssNote)");
  const std::string indexes =
      "SELECT string_agg(indexdef, ' | ' ORDER BY indexname) FROM pg_indexes "
      "WHERE tablename = 'systemsetting'";
  const std::string columns =
      "SELECT string_agg(column_name || ' ' || data_type, ', ' ORDER BY ordinal_position) "
      "FROM information_schema.columns WHERE table_name = 'systemsetting'";
  const Cell indexes_before = db->Query(indexes)[0][0], columns_before = db->Query(columns)[0][0];
  CommandResult init = RunCommand({"init", "--conn", db->ConnectionString()});
  ASSERT_EQ(init.status, 0) << init.err;
  EXPECT_EQ(init.out, "SystemSetting exists already: left as it is\n");
  EXPECT_EQ(db->Query(indexes)[0][0], indexes_before);
  EXPECT_EQ(db->Query(columns)[0][0], columns_before);
  EXPECT_EQ(db->Query("SELECT pg_typeof(getdate())::text")[0][0], "timestamp without time zone");
}

class PostgresFault : public FaultCluster {
 protected:
  void SetUp() override {
    FaultCluster::SetUp();
    if (IsSkipped()) return;
    const db::ConnectionString parsed = db::ConnectionString::Parse(FromUtf8(conn_));
    for (const auto& [key, value] : parsed.pairs()) {
      if (db::IsSecretKey(key)) password_ = ToUtf8(value);
    }
    ASSERT_EQ(RunCommand({"init", "--conn", conn_}).status, 0);
    db::Register::Open(FromUtf8(conn_))->RunSchemaStatement(u"DELETE FROM SystemSetting");
  }
  CommandResult Update(const std::string& workstation) {
    return RunCommand({"update", "--conn", conn_, "--state", "2"},
                      {"WEBQUORREL_COMPUTERNAME=" + workstation});
  }
  std::string password_;
};

TEST_F(PostgresFault, StoppedServerGivesZeroAndAClearErrorThenRecovers) {
  ASSERT_EQ(Update("PC-1").out, "1\n");
  Server("stop");
  CommandResult down = Update("PC-1");
  EXPECT_EQ(down.status, 1);
  EXPECT_EQ(down.out, "0\n");
  EXPECT_THAT(down.err,
              AllOf(HasSubstr("webquorrel update: Cannot open the database"), HasSubstr("08001"),
                    Not(HasSubstr("error ")), Not(HasSubstr(password_))));
  Server("start");
  CommandResult up = Update("PC-1");
  EXPECT_EQ(up.status, 0) << up.err;
  EXPECT_EQ(up.out, "1\n");
}

TEST_F(PostgresFault, ServerStoppedDuringARunFailsTheRestOfItWithoutCrashing) {
  ChildProcess run({"update", "--conn", conn_, "--state", "2", "--repeat", "3000"},
                   {"WEBQUORREL_COMPUTERNAME=PC-RUN"}, TempPath("fault-run"));
  while (run.OutLines().size() < 3) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  Server("kill");  // immediate: connections drop in the middle of whatever they do
  EXPECT_EQ(run.Wait(), 1) << run.Err();  // exited on its own, not by a signal
  const std::vector<std::string> counts = run.OutLines();
  ASSERT_EQ(counts.size(), 3000u);
  EXPECT_EQ(counts.front(), "1");
  EXPECT_EQ(counts.back(), "0");
  EXPECT_THAT(run.Err(), AllOf(HasSubstr("webquorrel update: update "), HasSubstr(" failed: "),
                               HasSubstr("updates failed"), Not(HasSubstr(password_))));
  Server("start");
  CommandResult next = Update("PC-RUN");
  EXPECT_EQ(next.status, 0) << next.err;
  EXPECT_EQ(next.out, "1\n");
}

}  // namespace
}  // namespace wq::testing
