// The statements every adapter sends, with hostile ids, modules and markers, and the one place
// where the servers differ.
#include <gtest/gtest.h>

#include "platform/db/odbc/dialect.h"
#include "platform/db/register_sql.h"
#include "platform/error.h"
#include "tests/error_of.h"

namespace wq::db {
namespace {

TEST(RegisterSql, MarkerQueriesNameTheMarkerAsALiteral) {
  EXPECT_EQ(MarkedRowsQuery(u"ab12"), u"SELECT * FROM SystemSetting WHERE ssDesc = 'ab12'");
  EXPECT_EQ(CountQuery(u"x'y"), u"SELECT COUNT(*) AS n FROM SystemSetting WHERE ssDesc = 'x''y'");
  EXPECT_EQ(QuoteLiteral(u"''; --"), u"'''''; --'");
}

TEST(RegisterSql, DeleteNamesEachIdAsStoredAndOnlyMarkedRows) {
  const DeleteStatement d =
      MakeDelete(u"m", {Value(int64_t{5}), Value(u"007"), Value(u"7 "), Value(12.0)}, std::nullopt);
  EXPECT_EQ(d.sql, u"DELETE FROM SystemSetting WHERE ssID IN (5,'007','7 ',12) AND ssDesc = 'm'");
  EXPECT_TRUE(d.params.empty());
  const DeleteStatement hostile = MakeDelete(u"m", {Value(u"1) OR (1=1")}, u"M' OR '1'='1");
  EXPECT_EQ(hostile.sql, u"DELETE FROM SystemSetting WHERE ssID IN ('1) OR (1=1') AND ssDesc = 'm' "
                         u"AND ssModeName = ?");
  EXPECT_EQ(hostile.params, (std::vector<Value>{Value(u"M' OR '1'='1")}));
  EXPECT_EQ(MakeDelete(u"m", {Value(int64_t{1})}, u"").sql,
            u"DELETE FROM SystemSetting WHERE ssID IN (1) AND ssDesc = 'm' AND (ssModeName = ? "
            u"OR ssModeName IS NULL)");
  for (const Value& bad : {Value(2.5), Value(), Value(DateTime{}), Value(1e300)}) {
    EXPECT_EQ(ErrorOf([&] { MakeDelete(u"m", {bad}, std::nullopt); }).number(), kTypeMismatch);
  }
}

TEST(RegisterSql, ColumnsAreFoundByNameInAnyCaseAndCountsReadStrictly) {
  const MarkedColumns c =
      FindMarkedColumns({u"SSSTATE", u"ssid", u"ssNote", u"ssOption", u"ssmodename"});
  EXPECT_EQ(c.id, 1);
  EXPECT_EQ(c.option, 3);
  EXPECT_EQ(c.module, 4);
  EXPECT_EQ(c.state, 0);
  EXPECT_EQ(ErrorOf([] { FindMarkedColumns({u"ssID", u"ssOption", u"ssState"}); }).number(),
            kItemNotFound);
  EXPECT_EQ(CountOf(Value(int64_t{7})), 7);
  EXPECT_EQ(CountOf(Value(u"42")), 42);
  EXPECT_EQ(CountOf(Value()), 0);
  for (const Value& bad : {Value(u"4 2"), Value(u""), Value(u"99999999999999999999"), Value(0.5)}) {
    EXPECT_EQ(ErrorOf([&] { CountOf(bad); }).number(), kTypeMismatch);
  }
}

TEST(OdbcDialect, OnlyTheSqliteDriverReadsTheClockInItsOwnTerms) {
  EXPECT_EQ(odbc::DialectOf("Microsoft SQL Server").serverClockQuery,
            u"SELECT GETDATE() AS SystemDateTime");
  EXPECT_EQ(odbc::DialectOf("PostgreSQL").serverClockQuery, u"SELECT GETDATE() AS SystemDateTime");
  EXPECT_EQ(odbc::DialectOf("SQLite").serverClockQuery,
            u"SELECT strftime('%Y-%m-%d %H:%M:%S', 'now', 'localtime') AS SystemDateTime");
}

}  // namespace
}  // namespace wq::db
