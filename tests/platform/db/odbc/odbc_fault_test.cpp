// The ODBC engine when the server goes away: clear errors, no hang, and pooled connections
// that died while the server restarted are replaced, not handed out again. Runs on a cluster
// of its own (WEBQUORREL_TEST_PG_FAULT_CONN) that it stops and starts.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/db/odbc/odbc_connection.h"
#include "platform/error.h"

namespace wq::db::odbc {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;

class OdbcFault : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* conn = std::getenv("WEBQUORREL_TEST_PG_FAULT_CONN");
    const char* ctl = std::getenv("WEBQUORREL_TEST_PG_FAULT_CTL");
    if (!conn || !*conn || !ctl || !*ctl) {
      GTEST_SKIP() << "WEBQUORREL_TEST_PG_FAULT_CONN/_CTL are not set (scripts/test sets them)";
    }
    conn_ = FromUtf8(conn);
    ctl_ = ctl;
  }
  void TearDown() override {
    if (!ctl_.empty()) Server("start");  // leave it running whatever happened
  }
  void Server(const char* action) {
    std::string command = "'" + ctl_ + "' " + action + " 2>/dev/null";
    std::system(command.c_str());
  }
  std::unique_ptr<OdbcConnection> Open() {
    return std::make_unique<OdbcConnection>(OdbcTarget{conn_, std::nullopt});
  }
  static long BackendPid(Connection& conn) {
    return static_cast<long>(
        conn.Execute(u"SELECT pg_backend_pid() AS pid")->Field(u"pid").integer());
  }

  Text conn_;
  std::string ctl_;
};

TEST_F(OdbcFault, StoppedServerGivesAClearConnectionError) {
  BackendPid(*Open());  // leaves a connection in the pool
  Server("stop");
  try {
    BackendPid(*Open());
    FAIL() << "worked without a server";
  } catch (const DatabaseError& e) {
    EXPECT_THAT(e.sqlstate(), StartsWith("08"));
    EXPECT_THAT(e.description(), HasSubstr("connection"));
  }
  Server("start");
  EXPECT_GT(BackendPid(*Open()), 0);
}

TEST_F(OdbcFault, PooledConnectionsThatDiedAreReplaced) {
  long before = BackendPid(*Open());
  Server("stop");
  Server("start");
  // The pool still holds the connection to the old server process.
  long after = BackendPid(*Open());
  EXPECT_NE(after, before);
  EXPECT_EQ(BackendPid(*Open()), after);  // and the new one is pooled in turn
}

TEST_F(OdbcFault, ServerKilledInTheMiddleOfAResultFailsThatCall) {
  auto conn = Open();
  BackendPid(*conn);
  Server("kill");
  try {
    conn->Execute(u"SELECT 1 AS one");
    FAIL() << "worked after the server was killed";
  } catch (const DatabaseError& e) {
    EXPECT_FALSE(e.description().empty());
  }
  Server("start");
  EXPECT_GT(BackendPid(*Open()), 0);
}

}  // namespace
}  // namespace wq::db::odbc
