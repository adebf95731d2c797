// Keyset results of the SQLite engine: the snapshot they visit, adding rows, lazy reading, and
// several connections on one file.
#include <sqlite3.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/db/sqlite/statistics.h"
#include "tests/platform/sqlite_fixture.h"

namespace wq::db {
namespace {

using SqliteKeyset = SqliteTest;

std::vector<Text> Options(Recordset& rs) {
  std::vector<Text> seen;
  for (; !rs.Eof(); rs.MoveNext()) seen.push_back(rs.Field(u"ssoption").text());
  return seen;
}

TEST_F(SqliteKeyset, VisitsExactlyTheRowsThatMatchedWhenItOpened) {
  for (const char16_t* option : {u"1", u"2", u"3"}) AddSetting(u"marker", option);
  AddSetting(u"other", u"x");
  auto rs = conn_->OpenKeyset(u"SELECT * FROM SystemSetting WHERE ssDesc = ?", {u"marker"});
  auto second = Open();
  AddSetting(u"marker", u"added before the first read", second.get());
  ASSERT_FALSE(rs->Eof());
  AddSetting(u"marker", u"added while reading", second.get());
  auto writer = conn_->OpenKeyset(u"SELECT * FROM SystemSetting");
  writer->AddNew();
  writer->SetField(u"ssDesc", u"marker");
  writer->Update();
  EXPECT_EQ(rs->RecordCount(), 3);
  EXPECT_EQ(Options(*rs), (std::vector<Text>{u"1", u"2", u"3"}));
  EXPECT_EQ(rs->RecordCount(), 3);
  EXPECT_EQ(
      conn_->OpenKeyset(u"SELECT * FROM SystemSetting WHERE ssDesc = 'marker'")->RecordCount(), 6);
}

TEST_F(SqliteKeyset, AddsRowsWithTheColumnsSetAndTheDatabaseFillsTheRest) {
  AddSetting(u"existing", u"x");
  auto rs = conn_->OpenKeyset(u"SELECT * FROM SystemSetting");
  rs->AddNew();
  EXPECT_FALSE(rs->Eof());
  rs->SetField(u"SSDESC", u"marker");
  rs->SetField(u"ssOption", u"0A1B");
  rs->SetField(u"ssState", int16_t{1});
  rs->SetField(u"ssModeName", u"");
  EXPECT_EQ(rs->Field(u"ssdesc"), Value(u"marker"));  // the row being added is current
  EXPECT_TRUE(rs->Field(u"ssID").IsNull());
  rs->Update();
  rs->Close();

  auto stored = conn_->Execute(u"SELECT * FROM SystemSetting WHERE ssDesc = 'marker'");
  ASSERT_FALSE(stored->Eof());
  EXPECT_EQ(stored->Field(u"ssID"), Value(int64_t{2}));
  EXPECT_EQ(stored->Field(u"ssOption"), Value(u"0A1B"));
  EXPECT_EQ(stored->Field(u"ssState"), Value(int64_t{1}));
  EXPECT_EQ(stored->Field(u"ssModeName"), Value(u""));
}

TEST_F(SqliteKeyset, AddingRowsFollowsTheRules) {
  auto rs = conn_->OpenKeyset(u"SELECT * FROM SystemSetting");
  EXPECT_EQ(ErrorOf([&] { rs->SetField(u"ssDesc", u"x"); }).number(), kInvalidProcedureCall);
  rs->Update();  // nothing to store
  rs->AddNew();
  const Error unknown = ErrorOf([&] { rs->SetField(u"ssNope", u"x"); });
  EXPECT_EQ(unknown.number(), kItemNotFound);
  EXPECT_NE(unknown.description().find("ssNope"), std::string::npos);
  EXPECT_EQ(ErrorOf([&] { rs->AddNew(); }).number(), kInvalidProcedureCall);
  EXPECT_EQ(ErrorOf([&] { rs->MoveNext(); }).number(), kInvalidProcedureCall);
  rs->Update();  // no column set: every column gets its default
  rs->AddNew();
  rs->SetField(u"ssDesc", u"dropped with the result");
  rs.reset();
  EXPECT_EQ(CountRows(), 1);
  EXPECT_EQ(CountRows(u"ssDesc IS NULL AND ssID = 1"), 1);
}

TEST_F(SqliteKeyset, QuotesColumnNamesAndKeepsAFailedRowPending) {
  conn_->Execute(
      u"CREATE TABLE [odd \"table\"] (id INTEGER PRIMARY KEY, [we\"ird] TEXT NOT NULL, "
      u"[select] INTEGER DEFAULT 5)");
  auto rs = conn_->OpenKeyset(u"select * from [odd \"table\"]");
  rs->AddNew();
  rs->SetField(u"SELECT", 9);
  const Error e = ErrorOf([&] { rs->Update(); });
  EXPECT_EQ(e.number(), SQLITE_CONSTRAINT_NOTNULL);
  rs->SetField(u"WE\"IRD", u"'); DROP TABLE SystemSetting; --");
  rs->Update();
  auto stored = conn_->Execute(u"SELECT * FROM \"odd \"\"table\"\"\"");
  EXPECT_EQ(stored->Field(u"we\"ird"), Value(u"'); DROP TABLE SystemSetting; --"));
  EXPECT_EQ(stored->Field(u"select"), Value(int64_t{9}));
  EXPECT_EQ(CountRows(), 0);  // SystemSetting is still there
}

TEST_F(SqliteKeyset, AcceptsOnlyAWholeTableQuery) {
  const Text refused[] = {
      u"SELECT ssID FROM SystemSetting",
      u"SELECT * FROM SystemSetting, SystemSetting AS s2",
      u"SELECT * FROM SystemSetting JOIN x",
      u"SELECT * FROM SystemSetting WHERE 1; DROP TABLE SystemSetting",
      u"DELETE FROM SystemSetting",
      u"SELECT * FROM",
      u"SELECT * FROM \"unterminated",
  };
  for (const Text& sql : refused) {
    EXPECT_EQ(ErrorOf([&] { conn_->OpenKeyset(sql); }).number(), kInvalidProcedureCall)
        << ToUtf8(sql);
  }
  EXPECT_EQ(ErrorOf([&] { conn_->OpenKeyset(u"SELECT * FROM Missing"); }).number(), SQLITE_ERROR);
  EXPECT_EQ(
      ErrorOf([&] { conn_->OpenKeyset(u"SELECT * FROM SystemSetting WHERE ssID = ?"); }).number(),
      kInvalidProcedureCall);
  AddSetting(u"b", u"2");
  AddSetting(u"a", u"1");
  auto ordered = conn_->OpenKeyset(u"  select * FROM [SystemSetting]\nORDER BY ssDesc;");
  EXPECT_EQ(Options(*ordered), (std::vector<Text>{u"1", u"2"}));
}

TEST_F(SqliteKeyset, AnEmptyTableGivesAnEmptyResult) {
  auto rs = conn_->OpenKeyset(u"SELECT * FROM SystemSetting WHERE ssDesc = 'marker'");
  AddSetting(u"marker", u"late");
  EXPECT_TRUE(rs->Eof());
  EXPECT_EQ(rs->RecordCount(), 0);
  EXPECT_EQ(ErrorOf([&] { rs->Field(u"ssID"); }).number(), kNoCurrentRecord);
  EXPECT_EQ(ErrorOf([&] { rs->Field(u"nope"); }).number(), kItemNotFound);
}

TEST_F(SqliteKeyset, OpeningToAddARowReadsNoneOfTheTablesRows) {
  conn_->Execute(
      u"WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 100000) "
      u"INSERT INTO SystemSetting (ssDesc, ssOption, ssState) SELECT 'setting', i, 0 FROM n");
  AddSetting(u"marker", u"x");

  uint64_t before = sqlite::VmSteps();
  {
    auto rs = conn_->OpenKeyset(u"SELECT * FROM SystemSetting");
    rs->AddNew();
    rs->SetField(u"ssDesc", u"marker");
    rs->Update();
  }
  EXPECT_LT(sqlite::VmSteps() - before, 1000u);

  // The measure does see a scan: finding the two marker rows reads the whole table.
  before = sqlite::VmSteps();
  auto rs = conn_->OpenKeyset(u"SELECT * FROM SystemSetting WHERE ssDesc = 'marker'");
  EXPECT_EQ(rs->RecordCount(), 2);
  EXPECT_GT(sqlite::VmSteps() - before, 100000u);
}

TEST_F(SqliteKeyset, CountsTheRowsItVisitsWhetherOrNotAnyWereRead) {
  for (const char16_t* option : {u"1", u"2", u"3"}) AddSetting(u"marker", option);
  AddSetting(u"other", u"x");
  const Text query = u"SELECT * FROM SystemSetting WHERE ssDesc = ?";
  auto unread = conn_->OpenKeyset(query, {u"marker"});
  auto midway = conn_->OpenKeyset(query, {u"marker"});
  auto second = Open();
  AddSetting(u"marker", u"added after open", second.get());
  EXPECT_EQ(unread->RecordCount(), 3);  // counted before any row is read: the rows are fixed now
  ASSERT_FALSE(midway->Eof());
  midway->MoveNext();
  second->Execute(u"DELETE FROM SystemSetting WHERE ssOption = '1'");
  AddSetting(u"marker", u"added while reading", second.get());
  EXPECT_EQ(midway->RecordCount(), 3);  // the rows it visits, as the file was at the first read
  EXPECT_EQ(Options(*midway), (std::vector<Text>{u"2", u"3"}));
  EXPECT_EQ(midway->RecordCount(), 3);
  EXPECT_EQ(Options(*unread), (std::vector<Text>{u"1", u"2", u"3"}));
  EXPECT_EQ(unread->RecordCount(), 3);
  EXPECT_EQ(conn_->OpenKeyset(u"SELECT * FROM SystemSetting ORDER BY ssOption")->RecordCount(), 5);
}

TEST_F(SqliteKeyset, KeepsItsRowsWhenItsConnectionRunsAnotherStatementMidway) {
  for (const char16_t* option : {u"1", u"2", u"3"}) AddSetting(u"marker", option);
  auto rs = conn_->OpenKeyset(u"SELECT * FROM SystemSetting WHERE ssDesc = 'marker'");
  ASSERT_FALSE(rs->Eof());
  auto second = Open();
  AddSetting(u"marker", u"4", second.get());  // a newer state of the file than rs reads
  // Writing on rs's connection meets the newest state, not rs's, and so does reading.
  conn_->Execute(u"DELETE FROM SystemSetting WHERE ssOption = '2'");
  EXPECT_EQ(CountRows(), 3);
  auto writer = conn_->OpenKeyset(u"SELECT * FROM SystemSetting");
  writer->AddNew();
  writer->SetField(u"ssDesc", u"marker");
  writer->Update();
  EXPECT_EQ(rs->Field(u"SSOPTION"), Value(u"1"));
  EXPECT_EQ(rs->Field(u"ssID"), Value(int64_t{1}));
  EXPECT_EQ(rs->Field(u"ssOption"), Value(u"1"));
  EXPECT_EQ(Options(*rs), (std::vector<Text>{u"1", u"2", u"3"}));
  EXPECT_EQ(rs->RecordCount(), 3);
  EXPECT_EQ(ErrorOf([&] { rs->Field(u"ssOption"); }).number(), kNoCurrentRecord);
  EXPECT_EQ(ErrorOf([&] { rs->MoveNext(); }).number(), kNoCurrentRecord);
}

TEST_F(SqliteKeyset, TwoKeysetsOnOneConnectionReadSideBySide) {
  for (const char16_t* option : {u"1", u"2"}) AddSetting(u"marker", option);
  auto a = conn_->OpenKeyset(u"SELECT * FROM SystemSetting");
  auto b = conn_->OpenKeyset(u"SELECT * FROM SystemSetting");
  std::vector<Text> seen;
  for (; !a->Eof() && !b->Eof(); a->MoveNext(), b->MoveNext()) {
    seen.push_back(a->Field(u"ssOption").text() + b->Field(u"ssOption").text());
  }
  EXPECT_EQ(seen, (std::vector<Text>{u"11", u"22"}));
  EXPECT_TRUE(a->Eof() && b->Eof());
  b->Close();
  EXPECT_EQ(ErrorOf([&] { b->Eof(); }).number(), kObjectClosed);
  conn_->Close();
  EXPECT_EQ(ErrorOf([&] { a->RecordCount(); }).number(), kObjectClosed);
}

using SqliteSharing = SqliteTest;

TEST_F(SqliteSharing, AWriterWaitsForAnotherWritersLockInsteadOfFailing) {
  conn_->Execute(u"BEGIN IMMEDIATE");
  AddSetting(u"first", u"1");
  std::atomic<bool> committed{false};
  std::atomic<bool> stored_before_commit{false};
  std::thread other([&] {
    auto conn = Open();
    auto rs = conn->OpenKeyset(u"SELECT * FROM SystemSetting");
    rs->AddNew();
    rs->SetField(u"ssDesc", u"second");
    rs->Update();
    stored_before_commit = !committed;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  committed = true;
  conn_->Execute(u"COMMIT");
  other.join();
  EXPECT_FALSE(stored_before_commit);
  EXPECT_EQ(CountRows(), 2);
}

TEST_F(SqliteSharing, ReadersAreNotHeldUpByAWriter) {
  AddSetting(u"marker", u"1");
  auto reader = conn_->OpenKeyset(u"SELECT * FROM SystemSetting WHERE ssDesc = 'marker'");
  auto writer = Open();
  writer->Execute(u"BEGIN IMMEDIATE");
  AddSetting(u"marker", u"uncommitted", writer.get());
  EXPECT_EQ(Options(*reader), std::vector<Text>{u"1"});
  EXPECT_EQ(conn_->Execute(u"SELECT count(*) AS n FROM SystemSetting")->Field(u"n"), Value(1));
  writer->Execute(u"COMMIT");
  EXPECT_EQ(CountRows(), 2);
}

TEST_F(SqliteSharing, AnOpenKeysetDoesNotHoldUpOtherWriters) {
  AddSetting(u"marker", u"1");
  auto scan = conn_->OpenKeyset(u"SELECT * FROM SystemSetting WHERE ssDesc = 'marker'");
  ASSERT_FALSE(scan->Eof());
  auto second = Open();  // as the writer of a replacement row does mid-scan
  AddSetting(u"marker", u"replacement", second.get());
  second->Execute(u"DELETE FROM SystemSetting WHERE ssOption = '1'");
  EXPECT_EQ(scan->Field(u"ssOption"), Value(u"1"));
  EXPECT_EQ(CountRows(), 1);
}

}  // namespace
}  // namespace wq::db
