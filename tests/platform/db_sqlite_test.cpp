// The SQLite engine through the public connection contract: opening, Execute, values, errors
// and closed objects.
#include <sqlite3.h>

#include <cstdlib>
#include <ctime>
#include <iterator>
#include <string>
#include <fstream>

#include "platform/db/date_time.h"
#include "platform/db/sqlite/machine_zone.h"
#include "tests/platform/sqlite_fixture.h"

namespace wq::db {
namespace {

using SqliteOpen = SqliteTest;

TEST_F(SqliteOpen, ProviderNameIgnoresCaseAndBlanks) {
  auto conn =
      Connection::Open(u" provider = sqlite ; DATA SOURCE = " + FromUtf8(path_.string()) + u" ;");
  EXPECT_STREQ(conn->engine(), "sqlite");
  EXPECT_EQ(conn->Execute(u"SELECT count(*) AS n FROM SystemSetting")->Field(u"n"), Value(0));
  // Write-ahead logging, so that readers and a writer do not wait for each other.
  EXPECT_EQ(conn->Execute(u"PRAGMA journal_mode")->Field(u"journal_mode"), Value(u"wal"));
}

TEST_F(SqliteOpen, RefusesWhatItCannotOpenWithoutShowingThePassword) {
  const Text bad[] = {
      u"Provider=Microsoft.Jet.OLEDB.4.0;Data Source=srv;User ID=sa;Password=hunter2",  // unknown
      u"Data Source=x.db;PWD={hunter2}",    // no provider
      u"Provider=SQLite;Password=hunter2",  // no Data Source
      u"Provider=SQLite;Data Source=/no/such/folder/x.db;Password=hunter2",
      u"Provider=SQLite;Data Source=x.db;Password='hunter2",  // unterminated quote
      u"Provider=SQLite;Password=hunter2;Data Source=" + FromUtf8(path_.string()) + Text(1, u'\0') +
          u"x",
  };
  for (const Text& cs : bad) {
    const Error e = ErrorOf([&] { Connection::Open(cs); });
    EXPECT_NE(e.description().find("Cannot open the database"), std::string::npos)
        << e.description();
    EXPECT_EQ(e.description().find("hunter2"), std::string::npos) << e.description();
  }
  EXPECT_NE(ErrorOf([&] { Connection::Open(bad[0]); }).description().find("Jet.OLEDB"),
            std::string::npos);
  EXPECT_EQ(ErrorOf([&] { Connection::Open(bad[3]); }).number(), SQLITE_CANTOPEN);
}

TEST_F(SqliteOpen, AFileThatIsNoDatabaseIsRefusedAtOpen) {
  const auto other = dir_ / "notes.txt";
  std::ofstream(other) << std::string(4096, 'x');
  const Error e = ErrorOf(
      [&] { Connection::Open(u"Provider=SQLite;Data Source=" + FromUtf8(other.string())); });
  EXPECT_EQ(e.number(), SQLITE_NOTADB);
}

using SqliteExecute = SqliteTest;

TEST_F(SqliteExecute, StatementsWithoutRowsGiveNoResult) {
  EXPECT_EQ(conn_->Execute(u"DELETE FROM SystemSetting"), nullptr);
  EXPECT_EQ(conn_->Execute(u"INSERT INTO SystemSetting (ssDesc) VALUES ('a');  -- done"), nullptr);
  EXPECT_EQ(CountRows(), 1);
}

TEST_F(SqliteExecute, AnEmptyResultIsAtEofAndHasNoCurrentRecord) {
  auto rs = conn_->Execute(u"SELECT * FROM SystemSetting");
  ASSERT_NE(rs, nullptr);
  EXPECT_TRUE(rs->Eof());
  EXPECT_EQ(rs->RecordCount(), 0);
  EXPECT_EQ(ErrorOf([&] { rs->Field(u"ssID"); }).number(), kNoCurrentRecord);
  EXPECT_EQ(ErrorOf([&] { rs->MoveNext(); }).number(), kNoCurrentRecord);
  EXPECT_EQ(ErrorOf([&] { rs->Field(u"nope"); }).number(), kItemNotFound);
}

TEST_F(SqliteExecute, ReadsRowsInOrderWithTheirTypes) {
  conn_->Execute(u"CREATE TABLE t (i INTEGER, r REAL, s TEXT, n TEXT, b BLOB)");
  conn_->Execute(
      u"INSERT INTO t VALUES (1, 2.5, 'é计', NULL, x'00ff'), (-9000000000, 0, '', "
      u"NULL, NULL)");
  auto rs = conn_->Execute(u"SELECT * FROM t ORDER BY i DESC");
  ASSERT_FALSE(rs->Eof());
  EXPECT_EQ(rs->Field(u"I"), Value(int64_t{1}));
  EXPECT_EQ(rs->Field(u"r"), Value(2.5));
  EXPECT_EQ(rs->Field(u"S"), Value(u"é计"));
  EXPECT_TRUE(rs->Field(u"n").IsNull());
  const Error blob = ErrorOf([&] { rs->Field(u"b"); });
  EXPECT_EQ(blob.number(), kTypeMismatch);
  EXPECT_NE(blob.description().find("'b'"), std::string::npos);
  rs->MoveNext();
  ASSERT_FALSE(rs->Eof());
  EXPECT_EQ(rs->Field(u"i"), Value(int64_t{-9000000000}));
  EXPECT_EQ(rs->Field(u"s"), Value(u""));
  EXPECT_TRUE(rs->Field(u"b").IsNull());
  rs->MoveNext();
  EXPECT_TRUE(rs->Eof());
  EXPECT_EQ(rs->RecordCount(), 2);
  const Error unknown = ErrorOf([&] { rs->Field(u"ssMissing"); });
  EXPECT_EQ(unknown.number(), kItemNotFound);
  EXPECT_NE(unknown.description().find("ssMissing"), std::string::npos);
}

// GETDATE() is the machine's local time (the zone of /etc/localtime), whatever TZ the process
// that writes has: every writer of one register stamps the same clock.
TEST_F(SqliteExecute, GetDateIsTheMachinesLocalTimeWhateverTheProcessZone) {
  const char* saved = std::getenv("TZ");
  const std::string before = saved ? saved : "";
  unsetenv("TZ");
  tzset();
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);  // without TZ: the machine's zone
  for (const char* zone : {"America/New_York", "Asia/Tokyo"}) {
    setenv("TZ", zone, 1);
    tzset();
    auto rs = conn_->Execute(u"SELECT GETDATE() AS SystemDateTime");
    ASSERT_FALSE(rs->Eof());
    const Value v = rs->Field(u"systemdatetime");
    ASSERT_TRUE(v.IsDateTime());
    const DateTime& got = v.date_time();
    std::tm from_engine{};
    from_engine.tm_year = got.year - 1900;
    from_engine.tm_mon = got.month - 1;
    from_engine.tm_mday = got.day;
    from_engine.tm_hour = got.hour;
    from_engine.tm_min = got.minute;
    from_engine.tm_sec = got.second;
    // Both read as UTC so that only the wall-clock fields are compared.
    EXPECT_LE(std::abs(timegm(&from_engine) - timegm(&local)), 300) << zone;
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

TEST_F(SqliteExecute, DatesComeBackAsDatesOnlyFromDateColumnsAndGetDateForm) {
  conn_->Execute(u"CREATE TABLE d (at DATETIME, day DATE, note TEXT)");
  const DateTime when{2026, 3, 7, 9, 5, 2};
  conn_->Execute(u"INSERT INTO d VALUES (?, '2026-12-31', ?)", {when, when});
  conn_->Execute(u"INSERT INTO d VALUES ('not a date', '2026-02-30', 'x')");
  auto rs = conn_->Execute(u"SELECT *, note || '' AS expr, typeof(at) AS kind FROM d");
  EXPECT_EQ(rs->Field(u"at"), Value(when));
  EXPECT_EQ(rs->Field(u"day"), Value(DateTime{2026, 12, 31, 0, 0, 0}));
  EXPECT_EQ(rs->Field(u"note"), Value(u"2026-03-07 09:05:02"));  // a TEXT column stays text
  EXPECT_EQ(rs->Field(u"expr"), Value(when));                    // untyped, GETDATE's form
  EXPECT_EQ(rs->Field(u"kind"), Value(u"text"));
  rs->MoveNext();
  EXPECT_EQ(rs->Field(u"at"), Value(u"not a date"));
  EXPECT_EQ(rs->Field(u"day"), Value(u"2026-02-30"));  // no such day: left as text
  EXPECT_EQ(ErrorOf([&] {
              conn_->Execute(u"SELECT ?", {DateTime{2026, 13, 1, 0, 0, 0}});
            }).number(),
            kInvalidProcedureCall);
}

TEST_F(SqliteExecute, HostileParameterTextIsStoredAndMatchedLiterally) {
  const Text hostile[] = {
      u"O'Brien",
      u"'; DROP TABLE SystemSetting; --",
      u"x' OR '1'='1",
      u"-- comment",
      u"back\\slash\\",
      Text(u"nul\0inside", 10),
      u"?",
      u"\U0001F600 计算机",
      Text(100000, u'\''),
  };
  for (const Text& text : hostile) AddSetting(text, text);
  for (const Text& text : hostile) {
    auto rs = conn_->Execute(u"SELECT * FROM SystemSetting WHERE ssDesc = ?", {text});
    ASSERT_FALSE(rs->Eof()) << ToUtf8(text);
    EXPECT_EQ(rs->Field(u"ssOption"), Value(text));
    rs->MoveNext();
    EXPECT_TRUE(rs->Eof());
  }
  EXPECT_EQ(CountRows(), std::size(hostile));
}

TEST_F(SqliteExecute, RefusesMoreThanOneStatementAndRunsNone) {
  const Text bad[] = {
      u"INSERT INTO SystemSetting (ssDesc) VALUES ('a'); DROP TABLE SystemSetting",
      u"INSERT INTO SystemSetting (ssDesc) VALUES ('a');; DELETE FROM SystemSetting",
      u"INSERT INTO SystemSetting (ssDesc) VALUES ('a'); garbage that does not parse",
      u"INSERT INTO SystemSetting (ssDesc) VALUES ('a')" + Text(1, u'\0') + u"; DROP TABLE x",
      u"",
      u" ; -- nothing",
  };
  for (const Text& sql : bad) {
    EXPECT_EQ(ErrorOf([&] { conn_->Execute(sql); }).number(), kInvalidProcedureCall);
  }
  EXPECT_EQ(CountRows(), 0);
}

TEST_F(SqliteExecute, ParametersMustMatchTheMarkers) {
  EXPECT_EQ(ErrorOf([&] { conn_->Execute(u"SELECT ?, ?", {1}); }).number(), kInvalidProcedureCall);
  EXPECT_EQ(ErrorOf([&] { conn_->Execute(u"SELECT 1", {1}); }).number(), kInvalidProcedureCall);
  EXPECT_EQ(ErrorOf([&] { conn_->Execute(u"SELECT :name", {1}); }).number(), kInvalidProcedureCall);
  auto rs =
      conn_->Execute(u"SELECT ? AS a, ? AS b, ? AS c, ? AS d", {Value(), int16_t{-2}, 0.25, u"t"});
  EXPECT_TRUE(rs->Field(u"a").IsNull());
  EXPECT_EQ(rs->Field(u"b"), Value(int64_t{-2}));
  EXPECT_EQ(rs->Field(u"c"), Value(0.25));
  EXPECT_EQ(rs->Field(u"d"), Value(u"t"));
}

TEST_F(SqliteExecute, EngineFailuresCarrySqliteCodesAndMessages) {
  const Error syntax = ErrorOf([&] { conn_->Execute(u"SELEKT 1"); });
  EXPECT_EQ(syntax.number(), SQLITE_ERROR);
  EXPECT_NE(syntax.description().find("syntax error"), std::string::npos);
  const auto insert = [&] { conn_->Execute(u"INSERT INTO SystemSetting (ssID) VALUES (7)"); };
  insert();
  const Error key = ErrorOf(insert);
  EXPECT_EQ(key.number(), SQLITE_CONSTRAINT_PRIMARYKEY);
  EXPECT_NE(key.description().find("UNIQUE constraint failed"), std::string::npos);
  EXPECT_EQ(ErrorOf([&] { conn_->Execute(u"SELECT * FROM Missing"); }).number(), SQLITE_ERROR);
}

TEST_F(SqliteExecute, ResultsOfExecuteAreReadOnly) {
  auto rs = conn_->Execute(u"SELECT * FROM SystemSetting");
  EXPECT_EQ(ErrorOf([&] { rs->AddNew(); }).number(), kInvalidProcedureCall);
  EXPECT_EQ(ErrorOf([&] { rs->SetField(u"ssDesc", u"x"); }).number(), kInvalidProcedureCall);
  EXPECT_EQ(ErrorOf([&] { rs->Update(); }).number(), kInvalidProcedureCall);
}

using SqliteClosed = SqliteTest;

TEST_F(SqliteClosed, AClosedConnectionAndItsResultsRaiseObjectClosed) {
  AddSetting(u"a", u"1");
  auto query = conn_->Execute(u"SELECT * FROM SystemSetting");
  auto unread = conn_->OpenKeyset(u"SELECT * FROM SystemSetting");
  auto read = conn_->OpenKeyset(u"SELECT * FROM SystemSetting");
  ASSERT_FALSE(read->Eof());
  conn_->Close();
  conn_->Close();  // closing again is harmless
  EXPECT_EQ(ErrorOf([&] { conn_->Execute(u"SELECT 1"); }).number(), kObjectClosed);
  EXPECT_EQ(ErrorOf([&] { conn_->OpenKeyset(u"SELECT * FROM SystemSetting"); }).number(),
            kObjectClosed);
  for (Recordset* rs : {query.get(), unread.get(), read.get()}) {
    EXPECT_EQ(ErrorOf([&] { rs->Eof(); }).number(), kObjectClosed);
    EXPECT_EQ(ErrorOf([&] { rs->Field(u"ssDesc"); }).number(), kObjectClosed);
    EXPECT_EQ(ErrorOf([&] { rs->MoveNext(); }).number(), kObjectClosed);
    EXPECT_EQ(ErrorOf([&] { rs->RecordCount(); }).number(), kObjectClosed);
    EXPECT_EQ(ErrorOf([&] { rs->AddNew(); }).number(), kObjectClosed);
  }
}

TEST_F(SqliteClosed, AClosedResultRaisesObjectClosedAndMayOutliveItsConnection) {
  AddSetting(u"a", u"1");
  auto rs = conn_->OpenKeyset(u"SELECT * FROM SystemSetting");
  rs->Close();
  rs->Close();
  EXPECT_EQ(ErrorOf([&] { rs->Eof(); }).number(), kObjectClosed);
  EXPECT_EQ(ErrorOf([&] { rs->Update(); }).number(), kObjectClosed);

  auto pending = conn_->OpenKeyset(u"SELECT * FROM SystemSetting");
  pending->AddNew();
  pending->SetField(u"ssDesc", u"never stored");
  conn_.reset();  // releasing the connection closes it first
  EXPECT_EQ(ErrorOf([&] { pending->Update(); }).number(), kObjectClosed);
  pending.reset();
  conn_ = Open();
  EXPECT_EQ(CountRows(), 1);
}

}  // namespace
}  // namespace wq::db
