// The ODBC engine across a server restart: pooled connections that died meanwhile are replaced,
// not handed out again. Runs on a cluster of its own (WEBQUORREL_TEST_PG_FAULT_CONN) that it
// stops and starts; the command's fault tests cover errors while the server is down.
#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/db/odbc/odbc_connection.h"
#include "platform/error.h"
#include "tests/postgres_required.h"

namespace wq::db::odbc {
namespace {

class OdbcFault : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* conn = std::getenv("WEBQUORREL_TEST_PG_FAULT_CONN");
    const char* ctl = std::getenv("WEBQUORREL_TEST_PG_FAULT_CTL");
    if (!conn || !*conn || !ctl || !*ctl) {
      WQ_SKIP_WITHOUT_POSTGRES()
          << "WEBQUORREL_TEST_PG_FAULT_CONN/_CTL are not set (scripts/test sets them)";
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

TEST_F(OdbcFault, PooledConnectionsThatDiedAreReplaced) {
  long before = BackendPid(*Open());
  Server("stop");
  Server("start");
  // The pool still holds the connection to the old server process.
  long after = BackendPid(*Open());
  EXPECT_NE(after, before);
  EXPECT_EQ(BackendPid(*Open()), after);  // and the new one is pooled in turn
}

}  // namespace
}  // namespace wq::db::odbc
