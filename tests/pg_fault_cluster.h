// The PostgreSQL cluster that fault tests stop and start: WEBQUORREL_TEST_PG_FAULT_CONN, its
// ODBC connection string, and WEBQUORREL_TEST_PG_FAULT_CTL, a script taking start, stop or
// kill (scripts/test sets both). Tests that use it hold the CTest resource lock pg_fault_cluster.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace wq::testing {

class FaultCluster : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* conn = std::getenv("WEBQUORREL_TEST_PG_FAULT_CONN");
    const char* ctl = std::getenv("WEBQUORREL_TEST_PG_FAULT_CTL");
    if (!conn || !*conn || !ctl || !*ctl) {
      GTEST_SKIP() << "WEBQUORREL_TEST_PG_FAULT_CONN/_CTL are not set (scripts/test sets them)";
    }
    conn_ = conn;
    ctl_ = ctl;
  }
  void TearDown() override {
    if (!ctl_.empty()) Server("start");  // leave it running whatever happened
  }
  // "start", "stop", or "kill" (immediate: connections drop in the middle of what they do).
  void Server(const char* action) const {
    std::system(("'" + ctl_ + "' " + action + " 2>/dev/null").c_str());
  }

  std::string conn_;  // UTF-8
  std::string ctl_;
};

}  // namespace wq::testing
