// The ODBC engine across a server restart: pooled connections that died meanwhile are replaced,
// not handed out again. Runs on a cluster of its own (WEBQUORREL_TEST_PG_FAULT_CONN) that it
// stops and starts; the command's fault tests cover errors while the server is down.
#include <gtest/gtest.h>

#include "tests/platform/db/odbc/odbc_backends.h"
#include "platform/error.h"
#include "tests/pg_fault_cluster.h"

namespace wq::db::odbc {
namespace {

class OdbcFault : public wq::testing::FaultCluster {
 protected:
  std::unique_ptr<testing::Direct> Open() {
    return std::make_unique<testing::Direct>(FromUtf8(conn_));
  }
  static long BackendPid(testing::Direct& conn) {
    return static_cast<long>(conn.One(u"SELECT pg_backend_pid() AS pid").integer());
  }
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
