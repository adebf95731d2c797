// The database access contract on the ODBC engine, run on each ODBC back end.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <barrier>
#include <thread>

#include "platform/db/odbc/connection_pool.h"
#include "platform/db/odbc/odbc_connection.h"
#include "platform/error.h"
#include "tests/error_of.h"
#include "tests/platform/db/odbc/odbc_backends.h"
#include "tests/postgres_required.h"

namespace wq::db::odbc {
namespace {

using ::testing::AllOf;
using testing::Backend;
using ::testing::HasSubstr;
using ::testing::Not;

class OdbcEngine : public ::testing::TestWithParam<const Backend*> {
 protected:
  void SetUp() override {
    std::string why = GetParam()->unavailable();
    if (!why.empty()) WQ_SKIP_WITHOUT_POSTGRES() << why;
    table_ = testing::UniqueTableName("engine");
    conn_ = Open();
    conn_->Execute(u"CREATE TABLE " + table_ + u" (" + GetParam()->id_column +
                   u", name varchar(4000), n integer, at timestamp)");
  }
  void TearDown() override {
    if (!conn_) return;
    try {
      Open()->Execute(u"DROP TABLE " + table_);
    } catch (const Error&) {
    }
  }

  std::unique_ptr<OdbcConnection> Open() {
    return std::make_unique<OdbcConnection>(OdbcTarget{GetParam()->connection(), std::nullopt});
  }
  void Insert(const Value& name, const Value& n, const Value& at = Null{}) {
    EXPECT_EQ(conn_->Execute(u"INSERT INTO " + table_ + u" (name, n, at) VALUES (?, ?, ?)",
                             {name, n, at}),
              nullptr);
  }
  std::vector<Text> Names(Recordset& rs) {
    std::vector<Text> names;
    for (; !rs.Eof(); rs.MoveNext()) names.push_back(rs.Field(u"name").text());
    return names;
  }

  Text table_;
  std::unique_ptr<OdbcConnection> conn_;
};

TEST_P(OdbcEngine, ExecuteGivesRowsForQueriesAndNothingForOtherStatements) {
  Insert(u"a", int32_t{1});
  Insert(u"b", int32_t{2});
  auto rs = conn_->Execute(u"SELECT name, n FROM " + table_ + u" ORDER BY n");
  ASSERT_NE(rs, nullptr);
  EXPECT_EQ(rs->Field(u"name"), Value(u"a"));
  EXPECT_EQ(rs->Field(u"n"), Value(int64_t{1}));
  rs->MoveNext();
  EXPECT_EQ(rs->Field(u"name"), Value(u"b"));
  rs->MoveNext();
  EXPECT_TRUE(rs->Eof());
  EXPECT_EQ(conn_->Execute(u"DELETE FROM " + table_ + u" WHERE n = 99"), nullptr);
  auto empty = conn_->Execute(u"SELECT name FROM " + table_ + u" WHERE n = 99");
  ASSERT_NE(empty, nullptr);
  EXPECT_TRUE(empty->Eof());
}

TEST_P(OdbcEngine, FieldNamesIgnoreCaseAndMissingFieldsOrRowsFail) {
  Insert(u"a", int32_t{1});
  auto rs = conn_->Execute(u"SELECT n AS SystemDateTime FROM " + table_);
  EXPECT_EQ(rs->Field(u"SystemDateTime"), Value(int64_t{1}));
  EXPECT_EQ(rs->Field(u"SYSTEMDATETIME"), Value(int64_t{1}));
  EXPECT_EQ(ErrorOf([&] { rs->Field(u"nope"); }).number(), kItemNotFound);
  rs->MoveNext();
  EXPECT_TRUE(rs->Eof());
  EXPECT_EQ(ErrorOf([&] { rs->Field(u"SystemDateTime"); }).number(), kNoCurrentRecord);
  EXPECT_EQ(ErrorOf([&] { rs->MoveNext(); }).number(), kNoCurrentRecord);
}

TEST_P(OdbcEngine, BoundParametersRoundTripEveryKindOfValue) {
  const Text unicode = u"模块 名称 \U0001F600 'quoted' \"double\" ; -- \\";
  Text long_text;
  for (int i = 0; i < 700; ++i) long_text += u"é中";  // longer than one read buffer
  Insert(unicode, int32_t{-7}, DateTime{2026, 3, 7, 9, 5, 2});
  Insert(long_text, Null{}, Null{});
  Insert(Null{}, int64_t{2147483647});
  auto rs = conn_->Execute(u"SELECT name, n, at FROM " + table_ + u" WHERE name = ?", {unicode});
  ASSERT_FALSE(rs->Eof());
  EXPECT_EQ(rs->Field(u"name"), Value(unicode));
  EXPECT_EQ(rs->Field(u"n"), Value(int64_t{-7}));
  EXPECT_EQ(rs->Field(u"at"), Value(DateTime{2026, 3, 7, 9, 5, 2}));
  rs = conn_->Execute(u"SELECT name, n, at FROM " + table_ + u" WHERE n IS NULL");
  EXPECT_EQ(rs->Field(u"name"), Value(long_text));
  EXPECT_TRUE(rs->Field(u"at").IsNull());
  rs = conn_->Execute(u"SELECT name, n FROM " + table_ + u" WHERE name IS NULL");
  EXPECT_TRUE(rs->Field(u"name").IsNull());
  EXPECT_EQ(rs->Field(u"n"), Value(int64_t{2147483647}));
}

TEST_P(OdbcEngine, KeysetVisitsExactlyTheRowsItMatched) {
  Insert(u"a", int32_t{1});
  Insert(u"b", int32_t{1});
  Insert(u"other", int32_t{2});
  auto rs = conn_->OpenKeyset(u"SELECT * FROM " + table_ + u" WHERE n = ?", {int32_t{1}});
  EXPECT_FALSE(rs->Eof());
  EXPECT_EQ(rs->RecordCount(), 2);
  // Changes by another connection after the rows were read are not seen.
  auto other = Open();
  other->Execute(u"INSERT INTO " + table_ + u" (name, n) VALUES ('c', 1)");
  other->Execute(u"DELETE FROM " + table_ + u" WHERE name = 'b'");
  EXPECT_EQ(rs->RecordCount(), 2);
  std::vector<Text> names = Names(*rs);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<Text>{u"a", u"b"}));
  // A new keyset sees the table as it is now.
  EXPECT_EQ(conn_->OpenKeyset(u"SELECT * FROM " + table_ + u" WHERE n = 1")->RecordCount(), 2);
  EXPECT_EQ(conn_->OpenKeyset(u"SELECT * FROM " + table_ + u" WHERE n = 5")->RecordCount(), 0);
  // Counted before any row is read: by the server, parameters and ORDER BY included.
  EXPECT_EQ(
      conn_->OpenKeyset(u"SELECT * FROM " + table_ + u" WHERE n = ?", {int32_t{2}})->RecordCount(),
      1);
  EXPECT_EQ(conn_->OpenKeyset(u"SELECT * FROM " + table_ + u" ORDER BY name")->RecordCount(), 3);
}

TEST_P(OdbcEngine, KeysetAddsRowsWithDatabaseAssignedKeys) {
  Insert(u"first", int32_t{1});
  auto rs = conn_->OpenKeyset(u"SELECT * FROM " + table_);
  rs->AddNew();
  rs->SetField(u"NAME", Value(u"新しい"));
  rs->SetField(u"n", Value(int16_t{1}));
  rs->SetField(u"n", Value(int16_t{0}));  // the last value set wins
  EXPECT_EQ(rs->Field(u"name"), Value(u"新しい"));
  EXPECT_TRUE(rs->Field(u"at").IsNull());
  rs->Update();
  rs->AddNew();  // a row with nothing set gets the table's defaults
  rs->Update();
  rs->Close();
  auto check = conn_->Execute(u"SELECT id, name, n FROM " + table_ + u" ORDER BY id");
  int64_t first_id = check->Field(u"id").integer();
  check->MoveNext();
  EXPECT_GT(check->Field(u"id").integer(), first_id);
  EXPECT_EQ(check->Field(u"name"), Value(u"新しい"));
  EXPECT_EQ(check->Field(u"n"), Value(int64_t{0}));
  check->MoveNext();
  EXPECT_TRUE(check->Field(u"name").IsNull());
  check->MoveNext();
  EXPECT_TRUE(check->Eof());
}

TEST_P(OdbcEngine, UnknownColumnsAndForeignQueriesNeverReachTheDatabase) {
  Insert(u"keep", int32_t{1});
  auto rs = conn_->OpenKeyset(u"SELECT * FROM " + table_);
  rs->AddNew();
  EXPECT_EQ(ErrorOf([&] {
              rs->SetField(u"name\") VALUES ('x'); DROP TABLE t; --", Value(u"x"));
            }).number(),
            kItemNotFound);
  EXPECT_EQ(ErrorOf([&] { rs->Field(u"nope"); }).number(), kItemNotFound);
  rs->Close();
  EXPECT_THROW(conn_->OpenKeyset(u"SELECT * FROM " + table_ + u"; DROP TABLE " + table_), Error);
  EXPECT_THROW(conn_->OpenKeyset(u"SELECT name FROM " + table_), Error);
  EXPECT_EQ(conn_->OpenKeyset(u"SELECT * FROM " + table_)->RecordCount(), 1);
}

TEST_P(OdbcEngine, RowStartedButNotStoredIsDropped) {
  auto rs = conn_->OpenKeyset(u"SELECT * FROM " + table_);
  rs->AddNew();
  rs->SetField(u"name", Value(u"never"));
  rs->Close();
  EXPECT_EQ(conn_->OpenKeyset(u"SELECT * FROM " + table_)->RecordCount(), 0);
  EXPECT_EQ(ErrorOf([&] { rs->Eof(); }).number(), kObjectClosed);
}

TEST_P(OdbcEngine, AddingRowsFollowsTheRules) {
  auto rs = conn_->Execute(u"SELECT * FROM " + table_);
  EXPECT_EQ(ErrorOf([&] { rs->AddNew(); }).number(), kInvalidProcedureCall);  // read-only
  EXPECT_EQ(ErrorOf([&] { rs->SetField(u"name", Value(u"x")); }).number(), kInvalidProcedureCall);
  auto keyset = conn_->OpenKeyset(u"SELECT * FROM " + table_);
  EXPECT_EQ(ErrorOf([&] { keyset->SetField(u"name", Value(u"x")); }).number(),
            kInvalidProcedureCall);
  keyset->AddNew();
  EXPECT_FALSE(keyset->Eof());  // the new row is the current one
  EXPECT_EQ(ErrorOf([&] { keyset->AddNew(); }).number(), kInvalidProcedureCall);
  EXPECT_EQ(ErrorOf([&] { keyset->MoveNext(); }).number(), kInvalidProcedureCall);
  // A row the database refuses stays pending and can be corrected.
  keyset->SetField(u"id", Value(u"not a number"));
  EXPECT_THROW(keyset->Update(), DatabaseError);
  keyset->SetField(u"id", Value(int32_t{41}));
  keyset->SetField(u"name", Value(u"fixed"));
  keyset->Update();
  EXPECT_EQ(conn_->Execute(u"SELECT name FROM " + table_ + u" WHERE id = 41")->Field(u"name"),
            Value(u"fixed"));
}

TEST_P(OdbcEngine, OnlyOneStatementReachesTheDatabase) {
  Insert(u"keep", int32_t{1});
  for (const Text& sql : {u"DELETE FROM " + table_ + u"; DROP TABLE " + table_,
                          u"SELECT 1 AS x; DELETE FROM " + table_, Text(u" ; -- nothing")}) {
    EXPECT_EQ(ErrorOf([&] { conn_->Execute(sql); }).number(), kInvalidProcedureCall) << ToUtf8(sql);
  }
  EXPECT_EQ(conn_->OpenKeyset(u"SELECT * FROM " + table_ + u";  -- all")->RecordCount(), 1);
}

TEST_P(OdbcEngine, ClosedConnectionsAndTheirResultsSayClosed) {
  Insert(u"a", int32_t{1});
  auto conn = Open();
  auto rs = conn->OpenKeyset(u"SELECT * FROM " + table_);
  conn->Close();
  EXPECT_EQ(ErrorOf([&] { rs->Eof(); }).number(), kObjectClosed);
  EXPECT_EQ(ErrorOf([&] { conn->Execute(u"SELECT 1 AS x"); }).number(), kObjectClosed);
  EXPECT_EQ(ErrorOf([&] { conn->OpenKeyset(u"SELECT * FROM " + table_); }).number(), kObjectClosed);
  conn->Close();  // closing twice is harmless
}

TEST_P(OdbcEngine, FailuresCarryTheDriversStateCodeAndMessage) {
  try {
    conn_->Execute(u"SELECT * FROM no_such_table_at_all");
    FAIL() << "no error";
  } catch (const DatabaseError& e) {
    EXPECT_EQ(e.sqlstate().size(), 5u);
    EXPECT_NE(e.number(), 0);
    EXPECT_THAT(e.description(), HasSubstr("no_such_table_at_all"));
  }
  // The connection stays usable after a failed statement.
  EXPECT_NE(conn_->Execute(u"SELECT n FROM " + table_), nullptr);
}

// SQLDriverConnectW takes a SQLSMALLINT length: a longer string is refused before any driver
// sees it, never passed on as a negative length.
TEST(OdbcEngineLimits, ConnectionStringOverODBCsLengthIsAClearError) {
  const Text secret(40000, u'x');
  try {
    OdbcConnection conn(OdbcTarget{u"Driver={SQLite3};PWD=" + secret, std::nullopt});
    FAIL() << "opened";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), kInvalidProcedureCall);
    EXPECT_THAT(e.description(), AllOf(HasSubstr("32,767"), Not(HasSubstr("xxxx"))));
  }
}

// The engine's own pool: closed connections wait for the next open of the same string, at most
// pool::kPerKey of them; opens of one string on one thread share a connection; an unpooled open
// neither takes nor keeps one.
TEST(OdbcEnginePool, KeepsAtMostAFewIdleConnectionsPerString) {
  std::string why = testing::SqliteUnavailable();
  if (!why.empty()) GTEST_SKIP() << why;
  const Text conn = testing::SqliteConnection() + u";NoWCHAR=0";  // a string of its own
  auto open = [&](bool pooled) {
    return std::make_unique<OdbcConnection>(OdbcTarget{conn, std::nullopt}, pooled);
  };
  const size_t before = pool::IdleCount();
  ASSERT_LE(before + pool::kPerKey, pool::kTotal);
  {
    // Threads that hold connections at the same time hold one each.
    constexpr size_t kThreads = pool::kPerKey + 2;
    std::barrier all_open(static_cast<std::ptrdiff_t>(kThreads));
    std::vector<std::thread> threads;
    for (size_t i = 0; i < kThreads; ++i) {
      threads.emplace_back([&] {
        auto held = open(true);
        all_open.arrive_and_wait();
      });
    }
    for (std::thread& t : threads) t.join();
  }
  EXPECT_EQ(pool::IdleCount(), before + pool::kPerKey);
  auto reused = open(true);
  EXPECT_EQ(pool::IdleCount(), before + pool::kPerKey - 1);
  auto shared = open(true);  // this thread holds one already: shared, none taken
  EXPECT_EQ(pool::IdleCount(), before + pool::kPerKey - 1);
  EXPECT_NE(reused->Execute(u"SELECT 1 AS one"), nullptr);
  shared.reset();
  EXPECT_NE(reused->Execute(u"SELECT 1 AS one"), nullptr);  // still open for the other holder
  open(false).reset();
  EXPECT_EQ(pool::IdleCount(), before + pool::kPerKey - 1);
  reused.reset();
  EXPECT_EQ(pool::IdleCount(), before + pool::kPerKey);
}

INSTANTIATE_TEST_SUITE_P(Backends, OdbcEngine,
                         ::testing::Values(&testing::kSqliteOdbc, &testing::kPostgres),
                         [](const auto& info) { return info.param->name; });

}  // namespace
}  // namespace wq::db::odbc
