// Prune, doctor, counts and the online snapshot against a real database, once per engine (see
// test_database.h). Record times are set relative to the server's own clock, so the suite runs
// on engines whose clock cannot be set; the few cases that need a fixed clock skip there.
#include "tests/presence/maintenance_suite.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <set>

#include "platform/db/register.h"
#include "platform/error.h"
#include "presence/age.h"
#include "presence/counting.h"
#include "presence/maintenance.h"
#include "presence/online.h"
#include "presence/server_time.h"

namespace wq::testing {

namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

}  // namespace

TEST_P(PresenceMaintenance, PruneRemovesOnlyLiveRecordsOlderThanTheLimit) {
  Create();
  const std::string fresh = AddRecord(Rec("PC-1", -60), "Sales");
  const std::string old = AddRecord(Rec("PC-2", -7200), "Sales", 1);
  const std::string ancient = AddRecord(Rec("PC-3", -3 * 86400), "");
  const std::string future = AddRecord(Rec("PC-4", 3600), "Sales");
  const std::string damaged = AddRecord("PC-5,", "Sales");
  const std::string unreadable = db_->Insert({{}, Marker(), "ZZ", "Sales", 0});
  const std::string other = db_->Insert({{}, "other", Seal(Rec("PC-6", -86400 * 9)), "Sales", 0});

  presence::PruneOptions options{600, std::nullopt, true};
  const auto before = Table();
  presence::PruneResult dry = presence::Prune(Conn(), options);
  EXPECT_TRUE(presence::IsDate(dry.serverTime));
  EXPECT_THAT(IdsOf(dry.expired), ElementsAre(old, ancient));
  EXPECT_EQ(ToUtf8(dry.expired[0].workstation), "PC-2");
  EXPECT_EQ(ToUtf8(dry.expired[0].module), "Sales");
  EXPECT_TRUE(dry.expired[0].login);
  EXPECT_EQ(Table(), before) << "a dry run changes nothing";

  options.dryRun = false;
  presence::PruneResult done = presence::Prune(Conn(), options);
  EXPECT_THAT(IdsOf(done.expired), ElementsAre(old, ancient));
  EXPECT_EQ(Ids(), (std::set<std::string>{fresh, future, damaged, unreadable, other}));
  EXPECT_THAT(presence::Prune(Conn(), options).expired, IsEmpty());
}

TEST_P(PresenceMaintenance, PruneKeepsToItsModule) {
  Create();
  const std::string sales = AddRecord(Rec("PC-1", -7200), "Sales");
  const std::string quoted = AddRecord(Rec("PC-2", -7200), "O'Brien");
  const std::string empty = AddRecord(Rec("PC-3", -7200), "");
  const std::string null = AddRecord(Rec("PC-4", -7200), std::nullopt);
  const std::string young = AddRecord(Rec("PC-5", -10), "O'Brien");

  auto prune = [&](const char16_t* module) {
    return IdsOf(presence::Prune(Conn(), {3600, Text(module), false}).expired);
  };
  EXPECT_THAT(prune(u"O'Brien' OR '1'='1"), IsEmpty());
  EXPECT_THAT(prune(u"O'Brien"), ElementsAre(quoted));
  EXPECT_THAT(prune(u"sales"), IsEmpty()) << "module names are compared exactly";
  EXPECT_THAT(prune(u""), ElementsAre(empty, null));
  EXPECT_EQ(Ids(), (std::set<std::string>{sales, young}));
}

TEST_P(PresenceMaintenance, PruneCountsAgeByTheServerClockAndNeedsItToBeADate) {
  Create();
  if (!db_->SetServerClock("2026-03-07 10:00:00")) GTEST_SKIP() << "no settable clock";
  const std::string atLimit = AddRecord("PC-1,2026-3-7 9:50:00");
  const std::string past = AddRecord("PC-2,2026-3-7 9:49:59");
  const std::string longAgo = AddRecord("PC-3,2026/03/06 10:00:00.5");
  presence::PruneResult r = presence::Prune(Conn(), {600, std::nullopt, false});
  EXPECT_EQ(ToUtf8(r.serverTime), "2026-3-7 10:00:00");
  EXPECT_THAT(IdsOf(r.expired), ElementsAre(past, longAgo));
  EXPECT_EQ(Ids(), (std::set<std::string>{atLimit}));

  AddRecord("PC-4,2000-1-1 0:00:00");
  for (const Cell& clock : {Cell("soon"), Cell("")}) {
    db_->SetServerClock(clock);
    const auto before = Table();
    try {
      presence::Prune(Conn(), {600, std::nullopt, false});
      ADD_FAILURE() << "no failure for clock " << *clock;
    } catch (const Error& e) {
      EXPECT_TRUE(e.fromDatabase());
      EXPECT_NE(std::string(e.what()).find("not a date"), std::string::npos) << e.what();
    }
    EXPECT_EQ(Table(), before);
  }
}

// At the spring change of the server clock's zone the hour after the jump looks an hour older
// than it is: only a record older than the limit however the readings are taken goes.
TEST_P(PresenceMaintenance, PruneKeepsWhatTheSpringChangeMakesLookOlder) {
  Create();
  if (!db_->SetServerClock("2026-03-29 03:01:00")) GTEST_SKIP() << "no settable clock";
  const std::string renewed = AddRecord("PC-1,2026-3-29 1:59:00");  // two minutes ago
  const std::string stale = AddRecord("PC-2,2026-3-29 1:40:00");    // 21 minutes ago
  // Berlin: an hour ahead of UTC, two from 01:00 UTC on March 29.
  auto berlin = [](int64_t t) -> int64_t { return t >= 1774746000 ? 7200 : 3600; };
  presence::PruneResult r = presence::Prune(Conn(), {600, std::nullopt, false}, berlin);
  EXPECT_THAT(IdsOf(r.expired), ElementsAre(stale));
  EXPECT_EQ(Ids(), (std::set<std::string>{renewed}));
}

// A table whose ssID is text may hold ids that are no numbers. They are never named in a
// statement. Where the engine cannot compare such an id with a number at all (SQL Server's
// conversion, PostgreSQL with a text = integer operator), the delete fails as a whole instead.
TEST_P(PresenceMaintenance, PruneLeavesRecordsItCannotNameSafely) {
  Create(Layout::kLooseIds);
  const std::string digits = AddRecord(Rec("PC-1", -7200), "", 0, "12");
  AddRecord(Rec("PC-2", -7200), "", 0, "5) OR (1=1");
  AddRecord(Rec("PC-3", -7200), "", 0, "1.5");
  EXPECT_THAT(IdsOf(presence::Prune(Conn(), {60, std::nullopt, true}).expired),
              ElementsAre(digits));
  try {
    presence::Prune(Conn(), {60, std::nullopt, false});
    EXPECT_EQ(Ids(), (std::set<std::string>{"5) OR (1=1", "1.5"}));
  } catch (const Error& e) {
    EXPECT_TRUE(e.fromDatabase()) << e.what();
    EXPECT_EQ(Ids(), (std::set<std::string>{digits, "5) OR (1=1", "1.5"})) << e.what();
  }
}

TEST_P(PresenceMaintenance, DoctorReportsAndRepairs) {
  Create();
  EXPECT_TRUE(presence::Doctor(Conn(), true).healthy());
  const std::string healthy = AddRecord(Rec("PC-1", -5), "Sales");
  const std::string nullOption = db_->Insert({{}, Marker(), std::nullopt, "Sales", 0});
  const std::string notHex = db_->Insert({{}, Marker(), "XYZ", "Sales", 0});
  const std::string noComma = AddRecord("PC-9 without a comma", "Sales");
  const std::string damaged = AddRecord("PC-4,never", "B");
  const std::string dupOld = AddRecord(Rec("PC-3", -3 * 3600), "Sales");
  const std::string dupNewest = AddRecord(Rec("pc-3", -3600), "Sales");
  const std::string dupMiddle = AddRecord(Rec("PC-3", -2 * 3600), "Sales");
  const std::string otherModule = AddRecord(Rec("PC-3", -4 * 3600), "Inventory");
  const std::string tieLow = AddRecord(Rec("PC-5", -60), "");
  const std::string tieHigh = AddRecord(Rec("PC-5", -60), std::nullopt);
  const std::string damagedDup = AddRecord("PC-6,", "C");
  const std::string liveOverDamaged = AddRecord(Rec("PC-6", -9 * 86400), "C");
  db_->Insert({{}, "other", "XYZ", "Sales", 0});  // not a presence record

  const auto before = Table();
  presence::DoctorReport report = presence::Doctor(Conn(), false);
  EXPECT_EQ(Table(), before) << "a diagnosis changes nothing";
  EXPECT_FALSE(report.healthy());
  EXPECT_THAT(report.removed, IsEmpty());
  EXPECT_THAT(
      Summary(report.findings),
      ElementsAre(nullOption + ":unreadable+", notHex + ":unreadable+", noComma + ":unreadable+",
                  damaged + ":damaged", dupOld + ":duplicate+", dupMiddle + ":duplicate+",
                  tieLow + ":duplicate+", damagedDup + ":damaged", damagedDup + ":duplicate+"));
  EXPECT_EQ(report.findings[0].reason, "ssOption has no value");
  EXPECT_NE(report.findings[1].reason.find("not sealed hex text"), std::string::npos);
  EXPECT_NE(report.findings[2].reason.find("no \",\""), std::string::npos);
  EXPECT_EQ(report.findings[3].reason, "the time text \"never\" is not a date");
  EXPECT_EQ(report.findings[4].reason,
            "\"PC-3\" in module \"Sales\" has a newer record, id " + dupNewest);
  EXPECT_EQ(report.findings[6].reason, "\"PC-5\" in module \"\" has a newer record, id " + tieHigh);

  report = presence::Doctor(Conn(), true);
  EXPECT_THAT(IdsOf(report.removed),
              ElementsAre(nullOption, notHex, noComma, dupOld, dupMiddle, tieLow, damagedDup));
  EXPECT_EQ(Table().size(), before.size() - 7);
  EXPECT_THAT(Workstations(), ElementsAre("PC-1", "PC-3", "PC-4", "PC-5", "PC-6", "pc-3"));
  EXPECT_EQ(Ids().count(healthy) + Ids().count(otherModule) + Ids().count(liveOverDamaged), 3u);

  // What is left is the damaged record, which only its own workstation's update repairs.
  report = presence::Doctor(Conn(), true);
  EXPECT_THAT(Summary(report.findings), ElementsAre(damaged + ":damaged"));
  EXPECT_THAT(report.removed, IsEmpty());
}

TEST_P(PresenceMaintenance, DoctorNeverNamesIdsThatAreNotWholeNumbers) {
  Create(Layout::kLooseIds);
  AddRecord("PC-1", "", 0, "1 OR 1=1");
  AddRecord(Rec("PC-2", -60), "", 0, "3");
  AddRecord(Rec("PC-2", -30), "", 0, "x");
  AddRecord(Rec("PC-9", -5), "", 0, "1234567890123456789");  // 19 digits: whole, as for the update
  EXPECT_THAT(Summary(presence::Doctor(Conn(), false).findings),
              ElementsAre("?:bad id", "?:unreadable", "3:duplicate+", "?:bad id"));
  const std::string big = "1234567890123456789";
  try {  // as for prune: some engines refuse the whole delete
    EXPECT_THAT(IdsOf(presence::Doctor(Conn(), true).removed), ElementsAre("3"));
    EXPECT_EQ(Ids(), (std::set<std::string>{"1 OR 1=1", "x", big}));
  } catch (const Error& e) {
    EXPECT_TRUE(e.fromDatabase()) << e.what();
    EXPECT_EQ(Ids(), (std::set<std::string>{"1 OR 1=1", "3", "x", big})) << e.what();
  }
}

TEST_P(PresenceMaintenance, CountsAndOnlineSnapshot) {
  Create();
  AddRecord(Rec("PC-3", -30), "Sales", 1);
  AddRecord(Rec("pc-1", -90), "Sales");
  AddRecord(Rec("PC-2", -5), "Inventory");
  AddRecord(Rec("PC-7", -5), std::nullopt);
  AddRecord(Rec("PC-8", -5), "");
  AddRecord("PC-4,", "Sales");
  db_->Insert({{}, Marker(), "ZZ", "Sales", 0});
  db_->Insert({{}, "other", "ZZ", "Sales", 0});

  auto conn = db::Register::Open(Conn(), db::Access::kReadOnly);
  EXPECT_EQ(presence::CountPresenceRecords(*conn), 7);
  std::vector<std::pair<std::string, int64_t>> counts;
  for (const auto& c : presence::CountByModule(*conn))
    counts.emplace_back(ToUtf8(c.module), c.count);
  EXPECT_THAT(counts, ElementsAre(std::pair<std::string, int64_t>{"", 2},
                                  std::pair<std::string, int64_t>{"Inventory", 1},
                                  std::pair<std::string, int64_t>{"Sales", 4}));
  conn->Close();

  presence::OnlineSnapshot s = presence::ReadOnline(Conn());
  EXPECT_EQ(s.damaged, 1);
  EXPECT_EQ(s.unreadable, 1);
  ASSERT_EQ(s.modules.size(), 3u);
  EXPECT_EQ(s.modules[0].module, u"");
  EXPECT_EQ(s.modules[1].module, u"Inventory");
  ASSERT_EQ(s.modules[2].module, u"Sales");
  const auto& sales = s.modules[2].entries;
  ASSERT_EQ(sales.size(), 2u);
  EXPECT_EQ(sales[0].row.workstation, u"pc-1");
  EXPECT_EQ(sales[1].row.workstation, u"PC-3");
  EXPECT_TRUE(sales[1].row.login);
  // The clock moves on between writing and reading, by a few seconds at most.
  ASSERT_TRUE(sales[0].ageSeconds && sales[1].ageSeconds);
  EXPECT_GE(*sales[0].ageSeconds, 90);
  EXPECT_LT(*sales[0].ageSeconds, 120);
  EXPECT_GE(*sales[1].ageSeconds, 30);
  EXPECT_LT(*sales[1].ageSeconds, 60);

  if (db_->SetServerClock("no clock")) {
    s = presence::ReadOnline(Conn());
    EXPECT_EQ(s.serverTime, u"no clock");
    EXPECT_FALSE(s.modules[2].entries[0].ageSeconds.has_value());
  }
}

}  // namespace wq::testing
