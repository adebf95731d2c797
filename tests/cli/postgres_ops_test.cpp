// The operators' commands on PostgreSQL through ODBC (the presence suite covers their logic
// there; these check the commands end to end): against a fresh database of the test server, and the
// agent against a server that is stopped and started again (the fault cluster,
// WEBQUORREL_TEST_PG_FAULT_CONN and _CTL, which scripts/test sets).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/db/register.h"
#include "presence/presence_rows.h"
#include "presence/record.h"
#include "tests/cli/child_process.h"
#include "tests/pg_fault_cluster.h"
#include "tests/postgres_required.h"
#include "tests/presence/test_database.h"

namespace wq::testing {
namespace {

using ::testing::HasSubstr;

std::string Marker() { return ToUtf8(presence::PresenceMarker()); }

// Workstation names of the presence records, in ssID order.
std::vector<std::string> Workstations(const std::string& conn) {
  std::vector<std::string> out;
  auto reg = db::Register::Open(FromUtf8(conn));
  for (const presence::PresenceRow& row : presence::ReadPresenceRows(*reg)) {
    out.push_back(ToUtf8(row.workstation));
  }
  return out;
}

TEST(PostgresOps, DoctorPruneAndAgent) {
  std::unique_ptr<TestDatabase> db = PostgresEngine().make();
  if (!db)
    WQ_SKIP_WITHOUT_POSTGRES() << "WEBQUORREL_TEST_PG_CONN is not set (scripts/test sets it)";
  const std::string conn = db->ConnectionString();
  ASSERT_EQ(RunCommand({"init", "--conn", conn}).status, 0);
  const std::vector<std::string> env = {"WEBQUORREL_CONN=" + conn, "WEBQUORREL_COMPUTERNAME=PC-PG"};
  ASSERT_EQ(RunCommand({"update", "--state", "2", "--module", "Sales"}, env).status, 0);
  db->Insert({{}, Marker(), ToUtf8(presence::SealPayload(u"PC-OLD,2000-1-1 0:00:00")), "Sales", 0});
  db->Insert({{}, Marker(), ToUtf8(presence::SealPayload(u"PC-OLD,2000-1-2 0:00:00")), "Sales", 0});
  db->Insert({{}, Marker(), "XYZ", "Sales", 0});

  CommandResult r = RunCommand({"doctor", "--fix"}, env);
  EXPECT_THAT(r.out, HasSubstr("2 problems found, 2 records removed")) << r.err;
  r = RunCommand({"prune", "--older-than", "1d", "--dry-run"}, env);
  EXPECT_THAT(r.out, HasSubstr("would remove 1 record older than 1d")) << r.err;
  EXPECT_EQ(Workstations(conn), (std::vector<std::string>{"PC-PG", "PC-OLD"}));
  r = RunCommand({"prune", "--older-than", "1d"}, env);
  EXPECT_THAT(r.out, HasSubstr("removed 1 record older than 1d")) << r.err;
  EXPECT_EQ(Workstations(conn), (std::vector<std::string>{"PC-PG"}));

  ChildProcess agent({"agent", "--module", "Sales", "--interval", "1"},
                     {"WEBQUORREL_CONN=" + conn, "WEBQUORREL_COMPUTERNAME=PC-AGENT"},
                     TempPath("pg-ops-agent"));
  ASSERT_TRUE(WaitFor([&] { return Workstations(conn).size() == 2; })) << agent.Err();
  agent.Signal(SIGTERM);
  EXPECT_EQ(agent.WaitExit(), 0) << agent.Err();
  EXPECT_EQ(Workstations(conn), (std::vector<std::string>{"PC-PG"}));
}

using PostgresOpsFault = FaultCluster;

TEST_F(PostgresOpsFault, AgentSurvivesAStoppedServer) {
  const std::string& conn = conn_;
  ASSERT_EQ(RunCommand({"init", "--conn", conn}).status, 0);
  db::Register::Open(FromUtf8(conn))->RunSchemaStatement(u"DELETE FROM SystemSetting");

  ChildProcess agent({"agent", "--module", "Sales", "--interval", "1"},
                     {"WEBQUORREL_CONN=" + conn, "WEBQUORREL_COMPUTERNAME=PC-AGENT"},
                     TempPath("pg-ops-fault-agent"));
  ASSERT_TRUE(WaitFor([&] { return Workstations(conn).size() == 1; })) << agent.Err();
  Server("stop");
  const bool failed =
      WaitFor([&] { return agent.Err().find("update failed") != std::string::npos; });
  const bool alive = !agent.Poll().has_value();
  Server("start");
  EXPECT_TRUE(failed) << agent.Err();
  EXPECT_TRUE(alive);
  db::Register::Open(FromUtf8(conn))->RunSchemaStatement(u"DELETE FROM SystemSetting");
  EXPECT_TRUE(WaitFor([&] { return Workstations(conn).size() == 1; })) << agent.Err();
  agent.Signal(SIGTERM);
  EXPECT_EQ(agent.WaitExit(), 0) << agent.Err();
  EXPECT_TRUE(Workstations(conn).empty());
}

}  // namespace
}  // namespace wq::testing
