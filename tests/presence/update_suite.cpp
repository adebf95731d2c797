// The presence update and writer against a real database, once per engine (see
// test_database.h). Workstations are played by a fake environment on fresh threads.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "presence/server_time.h"
#include "presence/update.h"
#include "presence/writer.h"
#include "tests/presence/presence_suite.h"

namespace wq::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

const char kTime[] = "2026-3-7 9:05:02";

TEST_P(PresenceUpdate, WorkedExample) {
  Create();
  AddRecord(std::string("PC-7,") + kTime, "", 0, "5");
  AddRecord(std::string("PC-3,") + kTime, "", 0, "9");
  AddRecord("PC-4,", "", 0, "12");

  UpdateResult r = UpdateAs("PC-7", 2);
  ASSERT_TRUE(r.ok()) << r.error->what();
  EXPECT_EQ(r.count, 3);

  std::vector<Presence> rows = Records();
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0].id, "9");
  EXPECT_EQ(rows[0].workstation, "PC-3");
  EXPECT_EQ(rows[1].workstation, "PC-4");  // the replacement, written before the new own record
  EXPECT_TRUE(presence::IsDate(FromUtf8(rows[1].time))) << rows[1].time;
  EXPECT_EQ(rows[1].module, "");
  EXPECT_EQ(rows[1].state, "0");
  EXPECT_EQ(rows[2].workstation, "PC-7");
  EXPECT_TRUE(presence::IsDate(FromUtf8(rows[2].time))) << rows[2].time;
  EXPECT_TRUE(env_.messages().empty());
}

TEST_P(PresenceUpdate, EmptyRegister) {
  Create();
  UpdateResult r = UpdateAs("PC-7", 0);
  ASSERT_TRUE(r.ok()) << r.error->what();
  EXPECT_EQ(r.count, 0);
  EXPECT_THAT(Records(), IsEmpty());

  r = UpdateAs("PC-7", 2, "Sales", true);
  ASSERT_TRUE(r.ok()) << r.error->what();
  EXPECT_EQ(r.count, 1);
  std::vector<Presence> rows = Records();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].workstation, "PC-7");
  EXPECT_EQ(rows[0].module, "Sales");
  EXPECT_EQ(rows[0].state, "1");
}

TEST_P(PresenceUpdate, RepeatedRegistrationLeavesOneOwnRecord) {
  Create();
  AddRecord(std::string("PC-3,") + kTime, "Sales");
  for (int i = 0; i < 3; ++i) {
    UpdateResult r = UpdateAs("PC-7", 2, "Sales");
    ASSERT_TRUE(r.ok()) << r.error->what();
    EXPECT_EQ(r.count, 2);
  }
  EXPECT_THAT(Workstations(), ElementsAre("PC-3", "PC-7"));
}

TEST_P(PresenceUpdate, OwnNameMatchesIgnoringCaseButNotBlanks) {
  Create();
  AddRecord(std::string("pc-7,") + kTime);
  AddRecord(std::string(" PC-7,") + kTime);  // another name: nothing is trimmed
  env_.SetName(u"pc-7");                     // the name is upper-cased when read
  const Text conn = Conn();
  UpdateResult r = OnFreshThread([&] { return UpdateOnlineState(conn, 0, {}, false); });
  ASSERT_TRUE(r.ok()) << r.error->what();
  EXPECT_EQ(r.count, 1);
  EXPECT_THAT(Workstations(), ElementsAre(" PC-7"));
}

TEST_P(PresenceUpdate, ModuleNameScopesTheDelete) {
  Create();
  AddRecord(std::string("PC-7,") + kTime, "A");
  AddRecord(std::string("PC-7,") + kTime, "B");
  AddRecord(std::string("PC-3,") + kTime, "A");

  UpdateResult r = UpdateAs("PC-7", 0, "A");
  ASSERT_TRUE(r.ok()) << r.error->what();
  EXPECT_EQ(r.count, 2);  // PC-7 in B survives and is counted
  std::vector<Presence> rows = Records();
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].workstation, "PC-7");
  EXPECT_EQ(rows[0].module, "B");

  AddRecord(std::string("PC-7,") + kTime, "A");
  r = UpdateAs("PC-7", 0, "");  // no module: every own record goes
  ASSERT_TRUE(r.ok()) << r.error->what();
  EXPECT_EQ(r.count, 1);
  EXPECT_THAT(Workstations(), ElementsAre("PC-3"));
}

TEST_P(PresenceUpdate, StatesOtherThanTwoOnlyPrune) {
  Create();
  AddRecord(std::string("PC-3,") + kTime);
  for (int16_t state : {int16_t{1}, int16_t{3}, int16_t{-2}, int16_t{0}}) {
    AddRecord(std::string("PC-7,") + kTime);
    UpdateResult r = UpdateAs("PC-7", state);
    ASSERT_TRUE(r.ok()) << r.error->what();
    EXPECT_EQ(r.count, 1) << state;
    EXPECT_THAT(Workstations(), ElementsAre("PC-3")) << state;
  }
  AddRecord(std::string("PC-7,") + kTime);
  env_.SetName(u"PC-7");
  const Text conn = Conn();
  EXPECT_EQ(OnFreshThread([&] { return presence::UpdateOnlineState(conn).count; }), 1);
  EXPECT_THAT(Workstations(), ElementsAre("PC-3"));
}

// The module name is bound, never spliced: no name widens the delete beyond the listed rows of
// exactly that module.
TEST_P(PresenceUpdate, HostileModuleNamesCannotWidenTheDelete) {
  const std::vector<std::string> names = {"A' OR '1'='1",
                                          "A' OR ''='",
                                          "A'; DELETE FROM SystemSetting; --",
                                          "A\\' OR 1=1 --",
                                          "A'/*",
                                          "') OR 1=1 --",
                                          "A\\",
                                          "A%",
                                          "A' UNION SELECT 1 --",
                                          "A\" OR \"\"=\"",
                                          "A'\nOR 1=1",
                                          "A;"};
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    db_ = GetParam().make();
    Create();
    db_->Insert({std::nullopt, "Theme", "dark", name, 1});
    AddRecord(std::string("PC-7,") + kTime, "A");
    AddRecord(std::string("PC-7,") + kTime, name);
    AddRecord(std::string("PC-3,") + kTime, name);
    AddRecord("PC-4,", "A");  // damaged, outside the module: left alone

    UpdateResult r = UpdateAs("PC-7", 0, name);
    ASSERT_TRUE(r.ok()) << r.error->what();
    EXPECT_EQ(r.count, 3);
    std::vector<Presence> rows = Records();
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].workstation, "PC-7");
    EXPECT_EQ(rows[0].module, "A");
    EXPECT_EQ(rows[1].workstation, "PC-3");
    EXPECT_EQ(rows[2].workstation, "PC-4");
    EXPECT_EQ(OtherRows().size(), 1u);

    // With SelfState 2 the name is stored as given.
    r = UpdateAs("PC-7", 2, name);
    ASSERT_TRUE(r.ok()) << r.error->what();
    EXPECT_EQ(Records().back().module, name);
  }
}

TEST_P(PresenceUpdate, IdsThatAreNotWholeNumbersFailTheUpdate) {
  for (const char* id : {"5) OR (1=1", "5,6", "1.5", " 7", "-", "", "99999999999999999999"}) {
    SCOPED_TRACE(id);
    db_ = GetParam().make();
    Create(Layout::kLooseIds);
    AddRecord(std::string("PC-3,") + kTime, "", 0, "1");
    AddRecord(std::string("PC-7,") + kTime, "", 0, id);
    UpdateResult r = UpdateAs("PC-7", 0);
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error->number(), kTypeMismatch);
    EXPECT_EQ(r.count, 0);
    EXPECT_EQ(Records().size(), 2u);
  }
  // A damaged record with such an id fails before its replacement is written.
  db_ = GetParam().make();
  Create(Layout::kLooseIds);
  AddRecord("PC-4,", "", 0, "4 OR 1=1");
  EXPECT_EQ(UpdateAs("PC-7", 0).error->number(), kTypeMismatch);
  EXPECT_EQ(Records().size(), 1u);
  // So does one whose id is sound beside a row whose id is not: nothing is written at all.
  db_ = GetParam().make();
  Create(Layout::kLooseIds);
  AddRecord("PC-5,", "", 0, "5");
  AddRecord(std::string("PC-7,") + kTime, "", 0, "x");
  EXPECT_EQ(UpdateAs("PC-7", 0).error->number(), kTypeMismatch);
  EXPECT_EQ(Records().size(), 2u);
}

TEST_P(PresenceUpdate, DigitOnlyTextIdsAreAccepted) {
  Create(Layout::kLooseIds);
  AddRecord(std::string("PC-3,") + kTime, "", 0, "1");
  AddRecord(std::string("PC-7,") + kTime, "", 0, "12");
  UpdateResult r = UpdateAs("PC-7", 0);
  ASSERT_TRUE(r.ok()) << r.error->what();
  EXPECT_THAT(Workstations(), ElementsAre("PC-3"));
}

// Each id reaches the delete as stored, and only presence rows go: the host's row '7' stays
// beside the presence rows '007' and '7 '.
TEST_P(PresenceUpdate, IdsReachTheDeleteAsStoredAndOnlyPresenceRowsGo) {
  Create(Layout::kLooseIds);
  db_->Insert({"7", "host", "H", std::nullopt, 0});
  AddRecord(std::string("PC-7,") + kTime, "", 0, "007");
  AddRecord(std::string("PC-3,") + kTime, "", 0, "7 ");
  UpdateResult r = UpdateAs("PC-7", 0);
  ASSERT_TRUE(r.ok()) << r.error->what();
  EXPECT_EQ(r.count, 1);
  ASSERT_EQ(Records().size(), 1u);
  EXPECT_EQ(Records()[0].id, "7 ");
  ASSERT_EQ(OtherRows().size(), 1u);
  EXPECT_EQ(OtherRows()[0][0], Cell("7"));
}

// A value longer than any record is read no further: the record is unreadable and removed.
TEST_P(PresenceUpdate, HugeOptionIsAnUnreadableRecord) {
  Create();
  db_->Insert({std::nullopt, Marker(), std::string(50'000'000, 'A'), "A", 0});
  AddRecord(std::string("PC-3,") + kTime, "A");
  UpdateResult r = UpdateAs("PC-7", 0, "A");
  ASSERT_TRUE(r.ok()) << r.error->what();
  EXPECT_EQ(r.count, 1);
  EXPECT_THAT(Workstations(), ElementsAre("PC-3"));
}

TEST_P(PresenceUpdate, DamagedRecordOutsideTheModuleIsLeftAlone) {
  Create();
  AddRecord("PC-4,", "B", 1);
  for (int i = 0; i < 3; ++i) {
    UpdateResult r = UpdateAs("PC-7", 0, "A");
    ASSERT_TRUE(r.ok()) << r.error->what();
    EXPECT_EQ(r.count, 1);
  }
  std::vector<Presence> rows = Records();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].time, "");
  EXPECT_EQ(rows[0].module, "B");
}

TEST_P(PresenceUpdate, ReplacementKeepsModuleAndLoginFlag) {
  Create();
  AddRecord("PC-4,not a date", "A", 1);
  AddRecord("PC-5,", "B", 0);
  AddRecord("PC-6,", std::nullopt, 5);
  UpdateResult r = UpdateAs("PC-7", 0, "A");
  ASSERT_TRUE(r.ok()) << r.error->what();
  std::vector<Presence> rows = Records();
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[2].workstation, "PC-4");
  EXPECT_EQ(rows[2].module, "A");
  EXPECT_EQ(rows[2].state, "1");
  EXPECT_TRUE(presence::IsDate(FromUtf8(rows[2].time)));

  r = UpdateAs("PC-7", 0, "");
  ASSERT_TRUE(r.ok()) << r.error->what();
  rows = Records();
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[1].workstation, "PC-5");
  EXPECT_EQ(rows[1].module, "B");
  EXPECT_EQ(rows[1].state, "0");
  EXPECT_EQ(rows[2].workstation, "PC-6");
  EXPECT_EQ(rows[2].module, "");  // a null module is written as the empty text
  EXPECT_EQ(rows[2].state, "1");
}

TEST_P(PresenceUpdate, UnreadableRecordsAreRemovedWithoutReplacement) {
  Create();
  const std::string marker = Marker();
  const std::vector<Cell> options = {
      std::nullopt, "", "ABC", "ZZZZ", "0G", "４１", Seal("PC-4 without separator")};
  for (const std::string module : {"A", "B"}) {
    for (const Cell& option : options) db_->Insert({std::nullopt, marker, option, module, 0});
  }
  AddRecord(std::string("PC-3,") + kTime, "B");

  UpdateResult r = UpdateAs("PC-7", 2, "A");
  ASSERT_TRUE(r.ok()) << r.error->what();
  // Those of module B stay, those of A go; nothing replaces them.
  EXPECT_EQ(r.count, static_cast<int32_t>(options.size()) + 2);
  EXPECT_EQ(db_->Query("SELECT ssID FROM SystemSetting WHERE ssModeName = 'A'").size(), 1u);

  r = UpdateAs("PC-7", 0, "");
  ASSERT_TRUE(r.ok()) << r.error->what();
  EXPECT_EQ(r.count, 1);
  EXPECT_THAT(Workstations(), ElementsAre("PC-3"));
}

TEST_P(PresenceUpdate, UnrelatedRowsAndExtraColumnsAreNeverTouched) {
  Create(Layout::kExtraColumns);
  db_->Insert({std::nullopt, "Theme", "dark", "", 1});
  db_->Insert({std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt});
  db_->Insert({std::nullopt, "Backup", Seal(std::string("PC-7,") + kTime), "", 0});
  db_->Insert({std::nullopt, "x" + Marker(), Seal("PC-4,"), "", 0});
  db_->Exec("UPDATE SystemSetting SET ssNote = 'kept', ssWeight = 3");
  AddRecord(std::string("PC-7,") + kTime);
  AddRecord("PC-4,");
  const auto before = OtherRows();

  UpdateResult r = UpdateAs("PC-7", 2, "", true);
  ASSERT_TRUE(r.ok()) << r.error->what();
  EXPECT_EQ(r.count, 2);
  EXPECT_EQ(OtherRows(), before);
  // The writer sets only its four columns; the others take their defaults.
  EXPECT_EQ(
      db_->Query("SELECT ssNote, ssWeight FROM SystemSetting WHERE ssDesc = '" + Marker() + "'"),
      (std::vector<std::vector<Cell>>{{std::nullopt, "7"}, {std::nullopt, "7"}}));
}

TEST_P(PresenceUpdate, UnopenableConnectionGivesZero) {
  Create();
  for (const std::string& conn :
       {std::string("Provider=SQLite;Data Source=/nonexistent/folder/p.db"),
        std::string("Provider=Nothing"), std::string("garbage"), std::string(""),
        std::string("Provider=SQLite;Data Source=\"unterminated")}) {
    SCOPED_TRACE(conn);
    env_.SetName(u"PC-7");
    UpdateResult r =
        OnFreshThread([&] { return UpdateOnlineState(FromUtf8(conn), 2, u"A", true); });
    EXPECT_FALSE(r.ok());
    EXPECT_EQ(r.count, 0);
    EXPECT_EQ(OnFreshThread([&] { return presence::UpdateOnlineState(FromUtf8(conn), 2).count; }),
              0);
  }
  EXPECT_TRUE(env_.messages().empty());
}

TEST_P(PresenceUpdate, MissingTableFailsWithZero) {
  UpdateResult r = UpdateAs("PC-7", 2);
  ASSERT_FALSE(r.ok());
  EXPECT_EQ(r.count, 0);
  EXPECT_TRUE(r.error->fromDatabase()) << r.error->what();
}

TEST_P(PresenceUpdate, UnreadableComputerNameFailsOnlyWhenNeeded) {
  Create();
  env_.SetNameBytes(std::nullopt);
  const Text conn = Conn();
  // No record and no registration: the name is never needed.
  UpdateResult r = OnFreshThread([&] { return UpdateOnlineState(conn, 0, {}, false); });
  EXPECT_TRUE(r.ok());
  r = OnFreshThread([&] { return UpdateOnlineState(conn, 2, {}, false); });
  ASSERT_FALSE(r.ok());
  EXPECT_EQ(r.error->number(), kInvalidProcedureCall);
  EXPECT_THAT(Records(), IsEmpty());
}

// The server's clock decides the time text of every record written, and a clock that gives no
// date is shown to the user once per update, which then goes on.
TEST_P(PresenceUpdate, RecordsCarryTheServerTimeText) {
  Create();
  if (!db_->SetServerClock("2026-03-07 09:05:02")) GTEST_SKIP() << "no settable clock";
  AddRecord("PC-4,", "A", 1);
  UpdateResult r = UpdateAs("PC-7", 2, "A");
  ASSERT_TRUE(r.ok()) << r.error->what();
  std::vector<Presence> rows = Records();
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].workstation, "PC-4");
  EXPECT_EQ(rows[0].time, "2026-3-7 9:05:02");
  EXPECT_EQ(rows[1].time, "2026-3-7 9:05:02");
  EXPECT_TRUE(env_.messages().empty());
}

TEST_P(PresenceUpdate, ServerTimeThatIsNoDateShowsTheMessageAndGoesOn) {
  const Text warning = u"\r\n计算机时间设置为非标准格式，系统可能无法正常运行";
  for (const std::string clock : {"junk", "", "2026-02-30 10:00:00"}) {
    SCOPED_TRACE(clock);
    db_ = GetParam().make();
    Create();
    if (!db_->SetServerClock(clock)) GTEST_SKIP() << "no settable clock";
    AddRecord(std::string("PC-7,") + kTime);
    AddRecord("PC-4,", "", 1);
    const size_t shown = env_.messages().size();

    UpdateResult r = UpdateAs("PC-7", 2);
    ASSERT_TRUE(r.ok()) << r.error->what();
    EXPECT_EQ(r.count, 2);
    const std::vector<Text> messages = env_.messages();
    ASSERT_EQ(messages.size(), shown + 1);
    EXPECT_EQ(messages.back(), FromUtf8(clock) + warning);
    // The replacement and the new record carry the same kind of time text.
    std::vector<Presence> rows = Records();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].workstation, "PC-4");
    EXPECT_EQ(rows[0].time, clock);
    EXPECT_EQ(rows[1].workstation, "PC-7");
    EXPECT_EQ(rows[1].time, clock);
  }
}

TEST_P(PresenceUpdate, NullServerTimeFailsTheUpdate) {
  Create();
  if (!db_->SetServerClock(std::nullopt)) GTEST_SKIP() << "no settable clock";
  AddRecord(std::string("PC-7,") + kTime);
  UpdateResult r = UpdateAs("PC-7", 2);
  ASSERT_FALSE(r.ok());
  EXPECT_EQ(r.error->number(), kInvalidUseOfNull);
  EXPECT_EQ(Records().size(), 1u);
  EXPECT_TRUE(env_.messages().empty());
}

TEST_P(PresenceUpdate, WriterStoresWhatItIsGiven) {
  Create();
  const Text conn = Conn();
  presence::WriteOnlineRecord(conn, u"PC-9", u"never", u"", true);
  presence::WriteOnlineRecord(conn, u"PC-9", u"never", u"M", false);
  presence::WriteOnlineRecord(conn, u"PC-8", u"", u"", false);
  auto raw = db_->Query(
      "SELECT ssDesc, ssOption, ssModeName, ssState FROM SystemSetting "
      "ORDER BY ssID");
  ASSERT_EQ(raw.size(), 3u);
  EXPECT_EQ(raw[0][0], Marker());
  EXPECT_EQ(raw[0][1], raw[1][1]);  // same payload, same sealed text
  EXPECT_EQ(raw[0][1], Seal("PC-9,never"));
  EXPECT_EQ(raw[0][2], "");
  EXPECT_EQ(raw[0][3], "1");
  EXPECT_EQ(raw[1][2], "M");
  EXPECT_EQ(raw[1][3], "0");
  std::vector<Presence> rows = Records();
  EXPECT_EQ(rows[2].workstation, "PC-8");
  EXPECT_TRUE(presence::IsDate(FromUtf8(rows[2].time))) << rows[2].time;
}

}  // namespace

}  // namespace wq::testing
