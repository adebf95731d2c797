// The ODBC adapter: the statement layer on each ODBC back end, and the Register through the
// SQLite3 ODBC driver (a file of its own), whose SQL differs from the servers' in the clock.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <barrier>
#include <ctime>
#include <thread>

#include "platform/db/odbc/connection_pool.h"
#include "platform/db/register.h"
#include "platform/error.h"
#include "tests/error_of.h"
#include "tests/platform/db/odbc/odbc_backends.h"
#include "tests/platform/read_marked.h"
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
    conn_ = std::make_unique<testing::Direct>(GetParam()->connection());
    conn_->Run(u"CREATE TABLE " + table_ + u" (" + GetParam()->id_column +
               u", name varchar(4000), n integer, at timestamp)");
  }
  void TearDown() override {
    if (!conn_) return;
    try {
      conn_->Run(u"DROP TABLE " + table_);
    } catch (const Error&) {
    }
  }
  void Insert(const Value& name, const Value& n, const Value& at = Null{}) {
    conn_->Run(u"INSERT INTO " + table_ + u" (name, n, at) VALUES (?, ?, ?)", {name, n, at});
  }
  std::vector<Value> Row(const Text& sql, const std::vector<Value>& params = {}) {
    return conn_->Run(sql, params).rows.at(0);
  }

  Text table_;
  std::unique_ptr<testing::Direct> conn_;
};

TEST_P(OdbcEngine, BoundParametersRoundTripEveryKindOfValue) {
  const Text unicode = u"模块 名称 \U0001F600 'quoted' \"double\" ; -- \\";
  Text long_text;
  for (int i = 0; i < 700; ++i) long_text += u"é中";  // longer than one read buffer
  Insert(unicode, int32_t{-7}, DateTime{2026, 3, 7, 9, 5, 2});
  Insert(long_text, Null{}, Null{});
  Insert(Null{}, int64_t{2147483647});
  EXPECT_EQ(Row(u"SELECT name, n, at FROM " + table_ + u" WHERE name = ?", {unicode}),
            (std::vector<Value>{unicode, int64_t{-7}, DateTime{2026, 3, 7, 9, 5, 2}}));
  EXPECT_EQ(Row(u"SELECT name, n, at FROM " + table_ + u" WHERE n IS NULL"),
            (std::vector<Value>{long_text, Null{}, Null{}}));
  EXPECT_EQ(Row(u"SELECT name, n FROM " + table_ + u" WHERE name IS NULL"),
            (std::vector<Value>{Null{}, int64_t{2147483647}}));
}

TEST_P(OdbcEngine, FailuresCarryTheDriversStateCodeAndMessage) {
  try {
    conn_->Run(u"SELECT * FROM no_such_table_at_all");
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_TRUE(e.fromDatabase());
    EXPECT_EQ(e.sqlstate().size(), 5u);
    EXPECT_NE(e.number(), 0);
    EXPECT_THAT(e.description(), HasSubstr("no_such_table_at_all"));
  }
  // The connection stays usable after a failed statement.
  EXPECT_TRUE(conn_->Run(u"SELECT n FROM " + table_).rows.empty());
}

constexpr char16_t kMarker[] = u"m4rk";

// The Register through the SQLite3 ODBC driver, on a table whose ids are texts.
class OdbcSqliteRegister : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string why = testing::SqliteUnavailable();
    if (!why.empty()) GTEST_SKIP() << why;
    conn_ = testing::SqliteConnection();
    testing::Direct direct(conn_);
    direct.Run(u"DROP TABLE IF EXISTS SystemSetting");
    direct.Run(
        u"CREATE TABLE SystemSetting (ssID TEXT, ssDesc TEXT, ssOption TEXT, "
        u"ssState INTEGER, ssModeName TEXT)");
  }
  std::vector<Value> Ids() {
    std::vector<Value> ids;
    for (const MarkedRow& row : ReadMarked(*Register::Open(conn_), kMarker)) ids.push_back(row.id);
    return ids;
  }
  Text conn_;
};

TEST_F(OdbcSqliteRegister, TheClockIsGetDatesTextWithoutAnyExtension) {
  const std::optional<Value> v = Register::Open(conn_)->ServerClock();
  ASSERT_TRUE(v.has_value());
  // The driver may hand the text over as it is, or as a date and time.
  std::string text;
  if (v->IsText()) {
    text = ToUtf8(v->text());
  } else {
    ASSERT_TRUE(v->IsDateTime());
    const DateTime& d = v->date_time();
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", d.year, d.month, d.day, d.hour,
                  d.minute, d.second);
    text = buf;
  }
  std::tm got{};
  ASSERT_NE(strptime(text.c_str(), "%Y-%m-%d %H:%M:%S", &got), nullptr) << text;
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  EXPECT_LE(std::abs(timegm(&got) - timegm(&local)), 300) << text;
}

// A host row '7' beside presence rows '007' and '7 ': ids reach the delete as stored, and only
// marked rows go.
TEST_F(OdbcSqliteRegister, ReadsAddsAndDeletesOnlyMarkedRowsByTheirIdsAsStored) {
  testing::Direct direct(conn_);
  direct.Run(
      u"INSERT INTO SystemSetting VALUES ('7', 'host', 'H', 0, NULL), "
      u"('007', 'm4rk', 'A', 1, NULL), ('7 ', 'm4rk', 'B', 0, 'M')");
  direct.Run(u"INSERT INTO SystemSetting VALUES ('9', 'm4rk', ?, 0, 'M')",
             {Value(Text(kMaxOptionUnits + 1, u'x'))});
  auto reg = Register::Open(conn_);
  reg->Add(kMarker, u"C", 1, u"模块");
  const std::vector<MarkedRow> rows = ReadMarked(*reg, kMarker);
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0].id, Value(u"007"));
  EXPECT_EQ(rows[0].option, Value(u"A"));
  EXPECT_EQ(rows[0].state, Value(int64_t{1}));
  EXPECT_TRUE(rows[0].module.IsNull());
  EXPECT_TRUE(rows[2].optionTooLong);
  EXPECT_TRUE(rows[2].option.IsNull());
  EXPECT_EQ(rows[2].module, Value(u"M"));  // the columns after it are still read
  EXPECT_EQ(rows[3].option, Value(u"C"));
  EXPECT_FALSE(rows[3].optionTooLong);  // the scan's row is reused: nothing carries over
  EXPECT_EQ(rows[3].module, Value(u"模块"));
  EXPECT_EQ(reg->CountMarked(kMarker), 4);

  reg->DeleteMarked(kMarker, {Value(u"7"), rows[0].id, rows[2].id}, u"M");
  EXPECT_EQ(Ids(), (std::vector<Value>{Value(u"007"), Value(u"7 "), Value()}));
  reg->DeleteMarked(kMarker, {Value(u"7"), rows[0].id, rows[1].id}, std::nullopt);
  EXPECT_EQ(Ids(), (std::vector<Value>{Value()}));
  EXPECT_EQ(direct.One(u"SELECT count(*) FROM SystemSetting WHERE ssID = '7'"), Value(int64_t{1}));
}

// SQLDriverConnectW takes a SQLSMALLINT length: a longer string is refused before any driver
// sees it, never passed on as a negative length.
TEST(OdbcEngineLimits, ConnectionStringOverODBCsLengthIsAClearError) {
  const Text secret(40000, u'x');
  try {
    Register::Open(u"Driver={SQLite3};PWD=" + secret);
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
  auto open = [&](bool pooled) { return std::make_unique<testing::Direct>(conn, pooled); };
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
  EXPECT_EQ(reused->One(u"SELECT 1 AS one"), Value(int64_t{1}));
  shared.reset();
  EXPECT_EQ(reused->One(u"SELECT 1 AS one"), Value(int64_t{1}));  // still open for the other holder
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
