// The presence update in one process while its PostgreSQL server stops and starts again: each
// update either counts or ends with 0 and an error, none hangs, and once the server is back the
// updates succeed again although the driver manager's pool still held connections to the old
// server. Runs on the cluster the fault tests may stop (WEBQUORREL_TEST_PG_FAULT_CONN, _CTL).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "cli/schema.h"
#include "platform/db/register.h"
#include "presence/update.h"
#include "tests/pg_fault_cluster.h"

namespace wq::presence {
namespace {

using Clock = std::chrono::steady_clock;

struct Tally {
  int ok = 0;
  int failed = 0;
};

using PostgresRestart = testing::FaultCluster;

TEST_F(PostgresRestart, UpdatesFailWhileTheServerIsDownAndRecoverAfter) {
  const Text conn = FromUtf8(conn_);
  {
    auto db = db::Register::Open(conn);
    cli::ApplySchema(*db);
    db->RunSchemaStatement(u"DELETE FROM SystemSetting");
  }

  std::mutex mutex;
  Tally tally;
  std::string bad;  // the first result that is neither a count nor a clean failure
  std::atomic<bool> stop{false};
  std::thread workstation([&] {
    while (!stop) {
      UpdateResult r = UpdateOnlineState(conn, 2, u"", false);
      std::lock_guard lock(mutex);
      if (r.ok() && r.count == 1) {
        ++tally.ok;
      } else if (!r.ok() && r.count == 0 && !r.error->description().empty()) {
        ++tally.failed;
      } else if (bad.empty()) {
        bad = r.ok() ? "count " + std::to_string(r.count) : "failure without a description";
      }
    }
  });
  // Waits until the tally satisfies done; false after two minutes.
  auto await = [&](auto done) {
    for (auto deadline = Clock::now() + std::chrono::minutes(2); Clock::now() < deadline;) {
      {
        std::lock_guard lock(mutex);
        if (done(tally)) return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  };

  EXPECT_TRUE(await([](const Tally& t) { return t.ok >= 5; }));
  Server("stop");
  int ok_before = 0;
  EXPECT_TRUE(await([&](const Tally& t) {
    ok_before = t.ok;
    return t.failed >= 5;
  }));
  Server("start");
  EXPECT_TRUE(await([&](const Tally& t) { return t.ok >= ok_before + 5; }));
  stop = true;
  workstation.join();
  Server("start");
  EXPECT_EQ(bad, "");
}

}  // namespace
}  // namespace wq::presence
