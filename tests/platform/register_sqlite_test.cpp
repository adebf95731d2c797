// The embedded engine's Register: opening (read-write and read-only), the server's clock, and
// reading, adding, deleting and counting marked rows beside the host's own rows.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

#include "platform/db/date_time.h"
#include "platform/db/register.h"
#include "platform/db/sqlite/machine_zone.h"
#include "platform/env/env.h"
#include "platform/error.h"
#include "tests/error_of.h"
#include "tests/platform/read_marked.h"
#include "tests/temp_dir.h"

namespace wq::db {
namespace {

constexpr char16_t kMarker[] = u"m4rk";

class SqliteRegister : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = testing::MakeTempDir("register");
    path_ = dir_ / "presence.db";
    Exec(
        "CREATE TABLE SystemSetting (ssID INTEGER PRIMARY KEY AUTOINCREMENT, ssDesc TEXT, "
        "ssNote TEXT, ssOption TEXT, ssState INTEGER, ssModeName TEXT)");
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }

  Text Conn() const { return u"Provider=SQLite;Data Source=" + FromUtf8(path_.string()); }
  std::unique_ptr<Register> Open(Access access = Access::kReadWrite) const {
    return Register::Open(Conn(), access);
  }
  // Runs SQL directly on the file, not through the Register.
  void Exec(const std::string& sql) {
    sqlite3* db = nullptr;
    sqlite3_open(path_.c_str(), &db);
    char* error = nullptr;
    const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error);
    const std::string message = error ? error : "";
    sqlite3_free(error);
    sqlite3_close(db);
    if (rc != SQLITE_OK) throw std::runtime_error(message);
  }
  // The first column of the first row of a query run directly on the file, as text.
  std::string Scalar(const std::string& sql) {
    sqlite3* db = nullptr;
    sqlite3_open(path_.c_str(), &db);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr);
    std::string value = "(no row)";
    if (sqlite3_step(st) == SQLITE_ROW) {
      const unsigned char* text = sqlite3_column_text(st, 0);
      value = text ? reinterpret_cast<const char*>(text) : "(null)";
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    return value;
  }
  std::vector<Text> Ids(const std::unique_ptr<Register>& reg) {
    std::vector<Text> ids;
    for (const MarkedRow& row : ReadMarked(*reg, kMarker)) {
      ids.push_back(row.id.IsText() ? u"'" + row.id.text() + u"'"
                                    : FromUtf8(std::to_string(row.id.integer())));
    }
    return ids;
  }

  std::filesystem::path dir_;
  std::filesystem::path path_;
};

TEST_F(SqliteRegister, OpensByProviderNameInAnyCaseInWriteAheadLogMode) {
  auto reg =
      Register::Open(u" provider = sqlite ; DATA SOURCE = " + FromUtf8(path_.string()) + u" ;");
  EXPECT_EQ(reg->product(), "sqlite");
  EXPECT_EQ(reg->CountMarked(kMarker), 0);
  reg->RunSchemaStatement(u"CREATE TABLE Probe (x)");
  EXPECT_EQ(Scalar("PRAGMA journal_mode"), "wal");
}

TEST_F(SqliteRegister, RefusesWhatItCannotOpenWithoutShowingThePassword) {
  const auto notes = dir_ / "notes.txt";
  std::ofstream(notes) << std::string(4096, 'x');
  const Text bad[] = {
      u"Provider=Microsoft.Jet.OLEDB.4.0;Data Source=srv;User ID=sa;Password=hunter2",  // unknown
      u"Data Source=x.db;PWD={hunter2}",    // no provider
      u"Provider=SQLite;Password=hunter2",  // no Data Source
      u"Provider=SQLite;Data Source=/no/such/folder/x.db;Password=hunter2",
      u"Provider=SQLite;Data Source=x.db;Password='hunter2",  // unterminated quote
      u"Provider=SQLite;Password=hunter2;Data Source=" + FromUtf8(path_.string()) + Text(1, u'\0') +
          u"x",
      u"Provider=SQLite;Password=hunter2;Data Source=" + FromUtf8(notes.string()),  // no database
  };
  for (const Text& cs : bad) {
    const Error e = ErrorOf([&] { Register::Open(cs); });
    EXPECT_NE(e.description().find("Cannot open the database"), std::string::npos)
        << e.description();
    EXPECT_EQ(e.description().find("hunter2"), std::string::npos) << e.description();
  }
  EXPECT_NE(ErrorOf([&] { Register::Open(bad[0]); }).description().find("Jet.OLEDB"),
            std::string::npos);
  EXPECT_EQ(ErrorOf([&] { Register::Open(bad[3]); }).number(), SQLITE_CANTOPEN);
  EXPECT_EQ(ErrorOf([&] { Register::Open(bad[6]); }).number(), SQLITE_NOTADB);
}

TEST_F(SqliteRegister, ReadOnlyCreatesNothingAndWritesNothing) {
  const auto missing = dir_ / "sub" / "none.db";
  const Error e = ErrorOf([&] {
    Register::Open(u"Provider=SQLite;Data Source=" + FromUtf8(missing.string()), Access::kReadOnly);
  });
  EXPECT_NE(e.description().find(missing.string()), std::string::npos) << e.description();
  EXPECT_FALSE(std::filesystem::exists(missing.parent_path()));

  Exec("INSERT INTO SystemSetting (ssDesc, ssOption) VALUES ('m4rk', 'A')");
  std::filesystem::permissions(path_, std::filesystem::perms::owner_read |
                                          std::filesystem::perms::group_read |
                                          std::filesystem::perms::others_read);
  auto reg = Open(Access::kReadOnly);
  EXPECT_EQ(ReadMarked(*reg, kMarker).size(), 1u);
  EXPECT_EQ(reg->CountMarked(kMarker), 1);
  EXPECT_EQ(ErrorOf([&] { reg->Add(kMarker, u"B", 0, u""); }).number() & 0xFF, SQLITE_READONLY);
}

// The server clock is the machine's clock (Env's) in the machine's zone (that of /etc/localtime)
// as text, whatever TZ the process that writes has: every writer of one register stamps the same
// clock.
TEST_F(SqliteRegister, ServerClockIsTheMachinesLocalTimeWhateverTheProcessZone) {
  struct FixedClock : Env {
    ~FixedClock() override { Env::SetDefault(nullptr); }
    bool GetComputerNameA(char*, uint32_t) override { return false; }
    void ShowMessage(const Text&) override {}
    std::chrono::system_clock::time_point Now() override {
      return std::chrono::system_clock::from_time_t(at);
    }
    std::time_t at = 1782867723;  // 2026-07-01 01:02:03 UTC
  } clock;
  const char* saved = std::getenv("TZ");
  const std::string before = saved ? saved : "";
  unsetenv("TZ");
  tzset();
  std::tm local{};
  localtime_r(&clock.at, &local);  // without TZ: the machine's zone
  char expected[32];
  ASSERT_EQ(std::strftime(expected, sizeof expected, "%Y-%m-%d %H:%M:%S", &local), 19u);
  Env::SetDefault(&clock);
  for (const char* zone : {"America/New_York", "Asia/Tokyo"}) {
    setenv("TZ", zone, 1);
    tzset();
    const std::optional<Value> v = Open()->ServerClock();
    ASSERT_TRUE(v && v->IsText());
    EXPECT_EQ(ToUtf8(v->text()), expected) << zone;
  }
  if (saved) {
    setenv("TZ", before.c_str(), 1);
  } else {
    unsetenv("TZ");
  }
  tzset();
}

// The zone file reader agrees with the C library hour by hour, through the changes the file
// lists and the later ones its rule gives; anything that is no zone file is refused.
TEST(MachineZone, ZoneFilesAgreeWithTheCLibrary) {
  for (const char* name : {"Europe/Berlin", "America/New_York", "Australia/Sydney", "Asia/Tokyo"}) {
    const auto zone = sqlite::ZoneFile::Read(std::string("/usr/share/zoneinfo/") + name);
    ASSERT_TRUE(zone.has_value()) << name;
    setenv("TZ", name, 1);
    tzset();
    for (int64_t t : {int64_t{1767225600}, int64_t{2240611200}}) {  // 2026 and 2041
      for (int64_t hour = 0; hour < 366 * 24; hour += 1) {
        const int64_t at = t + hour * 3600;
        ASSERT_EQ(zone->OffsetAt(at), LocalUtcOffset(at)) << name << " at " << at;
      }
    }
  }
  unsetenv("TZ");
  tzset();
  const std::string berlin = [] {
    std::ifstream in("/usr/share/zoneinfo/Europe/Berlin", std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }();
  for (size_t cut : {size_t{0}, size_t{4}, size_t{44}, size_t{100}, berlin.size() / 2}) {
    EXPECT_FALSE(sqlite::ZoneFile::Parse(berlin.substr(0, cut)).has_value()) << cut;
  }
  std::string huge = berlin;
  huge[32] = '\x7f';  // a transition count far beyond the file
  EXPECT_FALSE(sqlite::ZoneFile::Parse(huge).has_value());
  EXPECT_FALSE(sqlite::ZoneFile::Read("/nonexistent/zone").has_value());
  EXPECT_EQ(sqlite::PosixRuleOffset("CET-1CEST,M3.5.0,M10.5.0/3", 1782864000), 7200);  // July
  EXPECT_EQ(sqlite::PosixRuleOffset("<+03>-3", 0), 10800);
  for (const char* bad : {"", "C", "CET", "CET-1CEST,M13.5.0,M10.5.0", "CET-1CEST,J60,J300"}) {
    EXPECT_FALSE(sqlite::PosixRuleOffset(bad, 0).has_value()) << bad;
  }
}

TEST_F(SqliteRegister, ReadsOnlyMarkedRowsByColumnNameAndAddsRows) {
  Exec(
      "INSERT INTO SystemSetting (ssDesc, ssOption, ssState, ssModeName) VALUES "
      "('host', 'H', 1, 'M'), ('m4rk', 'A', 1, NULL), ('M4RK', 'X', 0, 'M')");
  auto reg = Open();
  reg->Add(kMarker, u"B'; DROP TABLE SystemSetting; --", 0, u"模块");
  const std::vector<MarkedRow> rows = ReadMarked(*reg, kMarker);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].id, Value(int64_t{2}));
  EXPECT_EQ(rows[0].option, Value(u"A"));
  EXPECT_EQ(rows[0].module, Value());
  EXPECT_EQ(rows[0].state, Value(int64_t{1}));
  EXPECT_EQ(rows[1].id, Value(int64_t{4}));
  EXPECT_EQ(rows[1].option, Value(u"B'; DROP TABLE SystemSetting; --"));
  EXPECT_EQ(rows[1].module, Value(u"模块"));
  EXPECT_EQ(rows[1].state, Value(int64_t{0}));
  EXPECT_EQ(reg->CountMarked(kMarker), 2);

  Exec("ALTER TABLE SystemSetting DROP COLUMN ssState");
  const Error missing = ErrorOf([&] { ReadMarked(*reg, kMarker); });
  EXPECT_EQ(missing.number(), kItemNotFound);
  EXPECT_NE(missing.description().find("ssState"), std::string::npos);
}

TEST_F(SqliteRegister, AnOptionLongerThanARecordIsLeftUnread) {
  Exec("INSERT INTO SystemSetting (ssDesc, ssOption) VALUES ('m4rk', printf('%.*c', " +
       std::to_string(kMaxOptionUnits) + ", 'x')), ('m4rk', printf('%.*c', " +
       std::to_string(kMaxOptionUnits + 1) +
       ", 'x')), ('m4rk', printf('%.*c', 50000000, 'x')), "
       "('m4rk', 'short')");
  const std::vector<MarkedRow> rows = ReadMarked(*Open(), kMarker);
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_FALSE(rows[0].optionTooLong);
  EXPECT_EQ(rows[0].option.text().size(), kMaxOptionUnits);
  EXPECT_TRUE(rows[1].optionTooLong);
  EXPECT_TRUE(rows[1].option.IsNull());
  EXPECT_TRUE(rows[2].optionTooLong);
  EXPECT_FALSE(rows[3].optionTooLong);  // the scan's row is reused: nothing carries over
  EXPECT_EQ(rows[3].option, Value(u"short"));
}

// A host row '7' beside presence rows '007' and '7 ': each id reaches the delete as stored, and
// only marked rows go.
TEST_F(SqliteRegister, DeletesOnlyMarkedRowsOfTheIdsAsStored) {
  Exec("DROP TABLE SystemSetting");
  Exec(
      "CREATE TABLE SystemSetting (ssID TEXT, ssDesc TEXT, ssOption TEXT, ssState INTEGER, "
      "ssModeName TEXT)");
  Exec(
      "INSERT INTO SystemSetting VALUES ('7', 'host', 'H', 0, NULL), ('007', 'm4rk', 'A', 0, "
      "NULL), ('7 ', 'm4rk', 'B', 0, 'M'), ('8', 'm4rk', 'C', 0, 'N')");
  auto reg = Open();
  const std::vector<MarkedRow> rows = ReadMarked(*reg, kMarker);
  ASSERT_EQ(rows.size(), 3u);
  reg->DeleteMarked(kMarker, {rows[0].id, Value(u"7"), Value(int64_t{8})}, u"M");
  EXPECT_EQ(Ids(reg), (std::vector<Text>{u"'007'", u"'7 '", u"'8'"}));  // none of module M
  reg->DeleteMarked(kMarker, {rows[0].id, Value(u"7")}, std::nullopt);
  EXPECT_EQ(Ids(reg), (std::vector<Text>{u"'7 '", u"'8'"}));
  reg->DeleteMarked(kMarker, {rows[1].id, Value(u"8")}, u"M");
  EXPECT_EQ(Ids(reg), (std::vector<Text>{u"'8'"}));
  reg->DeleteMarked(kMarker, {}, std::nullopt);
  EXPECT_EQ(ErrorOf([&] { reg->DeleteMarked(kMarker, {Value(2.5)}, std::nullopt); }).number(),
            kTypeMismatch);
  reg->DeleteMarked(kMarker, {Value(u"8')) OR 1=1 --")}, u"' OR 1=1 --");
  reg.reset();
  EXPECT_EQ(Scalar("SELECT group_concat(ssID, '|') FROM SystemSetting"), "7|8");
}

TEST_F(SqliteRegister, TheEmptyModuleAlsoMatchesNoModule) {
  Exec(
      "INSERT INTO SystemSetting (ssDesc, ssModeName) VALUES ('m4rk', NULL), ('m4rk', ''), "
      "('m4rk', 'M')");
  auto reg = Open();
  reg->DeleteMarked(kMarker, {Value(int64_t{1}), Value(int64_t{2}), Value(int64_t{3})}, u"");
  EXPECT_EQ(Ids(reg), (std::vector<Text>{u"3"}));
}

TEST_F(SqliteRegister, FailuresCarrySqliteCodesAndAClosedRegisterSaysSo) {
  Exec("DROP TABLE SystemSetting");
  auto reg = Open();
  const Error missing = ErrorOf([&] { reg->CountMarked(kMarker); });
  EXPECT_EQ(missing.number(), SQLITE_ERROR);
  EXPECT_NE(missing.description().find("no such table"), std::string::npos);
  reg->Close();
  EXPECT_EQ(ErrorOf([&] { reg->ServerClock(); }).number(), kObjectClosed);
  EXPECT_EQ(ErrorOf([&] { ReadMarked(*reg, kMarker); }).number(), kObjectClosed);
}

}  // namespace
}  // namespace wq::db
