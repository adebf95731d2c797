// How many server connections the presence update holds on PostgreSQL, counted by the server
// itself (pg_stat_activity): the update and its writer share one, and an idle one is closed when
// the idle limit passes, whether or not another call comes.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "platform/db/idle_connections.h"
#include "presence/update.h"
#include "tests/postgres_required.h"
#include "tests/presence/test_database.h"

namespace wq::presence {
namespace {

using namespace std::chrono_literals;

class ServerSessions : public ::testing::Test {
 protected:
  void SetUp() override {
    db_ = testing::PostgresEngine().make();
    if (!db_) WQ_SKIP_WITHOUT_POSTGRES() << "WEBQUORREL_TEST_PG_CONN is not set";
    db_->CreateSchema();
    app_ = "wq-sessions-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
           "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
    conn_ = FromUtf8(db_->ConnectionString() + ";pqopt={application_name=" + app_ + "}");
    saved_ = db::IdleConnectionLimit();
  }
  void TearDown() override {
    if (db_) db::SetIdleConnectionLimit(saved_);
    db::ReleaseIdleConnections();
  }
  // The server's sessions of this test's connection string.
  int Sessions() {
    return std::stoi(*db_->Query(
        "SELECT count(*) FROM pg_stat_activity WHERE application_name = '" + app_ + "'")[0][0]);
  }
  // The sessions once those closing have gone: a server ends a session a moment after its
  // client hangs up, so this waits (up to 20 s) for the count to reach 0.
  int SessionsAfterClosing() {
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (Sessions() != 0 && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(100ms);
    }
    return Sessions();
  }
  int Records() { return std::stoi(*db_->Query("SELECT count(*) FROM SystemSetting")[0][0]); }

  std::unique_ptr<testing::TestDatabase> db_;
  std::string app_;
  Text conn_;
  std::chrono::milliseconds saved_{};
};

TEST_F(ServerSessions, OneCallHoldsOneConnectionUntilTheIdleLimit) {
  // A limit long enough that a loaded machine still finds the connection open right after the
  // call, and a generous wait for its closing, which is all that is checked.
  db::SetIdleConnectionLimit(2s);
  const UpdateResult r = UpdateOnlineState(conn_, 2, u"Sales", false);
  ASSERT_TRUE(r.ok()) << r.error->description();
  EXPECT_EQ(r.count, 1);
  EXPECT_EQ(Sessions(), 1);  // the writer shared the update's connection
  EXPECT_EQ(SessionsAfterClosing(), 0);  // closed, with no further call
  // The next call logs in again and works.
  EXPECT_EQ(UpdateOnlineState(conn_, 2, u"Sales", false).count, 1);
  db::ReleaseIdleConnections();
  EXPECT_EQ(SessionsAfterClosing(), 0);
}

// Two threads of one process are two workstations updating together through the pool: each
// keeps its own record, and once both are done each counts both.
TEST_F(ServerSessions, TwoThreadsUpdatingTogetherEachKeepTheirOwnRecord) {
  constexpr int kRounds = 20;
  std::atomic<int> named{0}, done{0}, turn{0};
  int failed[2] = {0, 0};
  int finalCount[2] = {0, 0};
  auto spinUntil = [](auto condition) {
    while (!condition()) std::this_thread::sleep_for(1ms);
  };
  auto workstation = [&](int i) {
    UpdateOnlineState(conn_, 2, u"Sales", false);  // reads this thread's name now
    ++named;
    spinUntil([&] { return named == 2; });
    for (int round = 0; round < kRounds; ++round) {
      if (!UpdateOnlineState(conn_, 2, u"Sales", false).ok()) ++failed[i];
    }
    ++done;
    spinUntil([&] { return done == 2 && turn == i; });
    finalCount[i] = UpdateOnlineState(conn_, 2, u"Sales", false).count;
    ++turn;
  };
  // The name is read at a thread's first use: each thread starts with its own in the environment.
  setenv("WEBQUORREL_COMPUTERNAME", "THREAD-A", 1);
  std::thread a(workstation, 0);
  spinUntil([&] { return named == 1; });
  setenv("WEBQUORREL_COMPUTERNAME", "THREAD-B", 1);
  std::thread b(workstation, 1);
  a.join();
  b.join();
  unsetenv("WEBQUORREL_COMPUTERNAME");
  EXPECT_EQ(failed[0] + failed[1], 0);
  EXPECT_EQ(finalCount[0], 2);
  EXPECT_EQ(finalCount[1], 2);
  EXPECT_EQ(Records(), 2);
  EXPECT_LE(Sessions(), 2);  // one connection per thread at most
}

}  // namespace
}  // namespace wq::presence
