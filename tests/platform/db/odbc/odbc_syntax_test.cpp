// Keyset SQL: the one-statement check and the keyset queries, with hostile input.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/db/odbc/keyset_sql.h"
#include "platform/error.h"

namespace wq::db::odbc {
namespace {

TEST(SingleStatement, AcceptsOneStatementWithQuotesAndComments) {
  for (TextView sql : {u"SELECT 1", u"DELETE FROM t WHERE a IN (1,2) ", u"SELECT ';' AS x;",
                       u"SELECT 'it''s; fine', \"a;\"\"b\", [c;]]d] FROM t -- done; really",
                       u"INSERT INTO t (a) VALUES ('a');  -- done", u"/* ; */ SELECT 1 /* ; */;",
                       u"SELECT 1;\n  -- trailing comment\n"}) {
    EXPECT_NO_THROW(SingleStatement(sql)) << ToUtf8(sql);
  }
}

TEST(SingleStatement, RefusesPiggybackedEmptyAndBrokenText) {
  for (TextView sql : {u"", u"  ", u"-- only a comment", u";", u" ; -- nothing",
                       u"SELECT 1; DROP TABLE t", u"SELECT 1;; SELECT 2",
                       u"SELECT 'a''; DROP TABLE t", u"SELECT \"a", u"SELECT [a", u"SELECT 1 /* x",
                       u"SELECT 'x' -- c\n; DELETE FROM t", u"SELECT 1; /* c */ DELETE FROM t"}) {
    EXPECT_THROW(SingleStatement(sql), Error) << ToUtf8(sql);
  }
  EXPECT_THROW(SingleStatement(Text(u"SELECT 1") + u'\0' + u"; DROP TABLE t"), Error);
  EXPECT_EQ(SingleStatement(u"SELECT ';' AS x ; -- end"), u"SELECT ';' AS x ");
  EXPECT_EQ(SingleStatement(u"SELECT 1 -- no end"), u"SELECT 1 -- no end");
}

TEST(KeysetSql, AcceptsTheTableQueries) {
  EXPECT_EQ(KeysetTable(u"SELECT * FROM SystemSetting"), u"SystemSetting");
  EXPECT_EQ(KeysetTable(u"  select *\n from  SystemSetting ; "), u"SystemSetting");
  EXPECT_EQ(KeysetTable(u"SELECT * FROM SystemSetting WHERE ssDesc = 'x'"), u"SystemSetting");
  EXPECT_EQ(KeysetTable(u"SELECT*FROM dbo.System_Setting2 WHERE ssID=?"), u"dbo.System_Setting2");
  EXPECT_EQ(KeysetTable(u"SELECT * FROM \"odd \"\"name\"\"\" ORDER BY 1"), u"\"odd \"\"name\"\"\"");
  EXPECT_EQ(KeysetTable(u"SELECT * FROM [dbo].[Sys Setting]WHERE 1=1"), u"[dbo].[Sys Setting]");
}

TEST(KeysetSql, RejectsEverythingElse) {
  for (TextView sql :
       {u"", u"SELECT ssID FROM SystemSetting", u"DELETE FROM SystemSetting", u"SELECT * FROM",
        u"SELECT * FROM t; DROP TABLE t", u"SELECT * FROM t WHERE 1=1; DROP TABLE t",
        u"SELECT * FROM \"t", u"SELECT * FROM \"\"", u"SELECT * FROM t, u",
        u"SELECT * FROM t JOIN u ON 1=1", u"SELECT * FROM 1t", u"SELECT * FROMt",
        u"SELECT * FROM t.", u"SELECT * FROM t.u.v", u"SELECT * FROM t WHEREx",
        u"SELECT * FROM t ORDER", u"SELECT * FROM `t`"}) {
    EXPECT_THROW(KeysetTable(sql), Error) << ToUtf8(sql);
  }
}

TEST(KeysetSql, SplitsTheSourceIntoNamePartsAndTail) {
  const KeysetSource s = ParseKeysetSource(u"SELECT * FROM `a``b`.[c]]d] WHERE x=1; -- end", true);
  ASSERT_EQ(s.parts.size(), 2u);
  EXPECT_EQ(UnquoteName(s.parts[0]), u"a`b");
  EXPECT_EQ(UnquoteName(s.parts[1]), u"c]d");
  EXPECT_EQ(s.tail, u" WHERE x=1");
  EXPECT_EQ(UnquoteName(u"\"q\"\"\""), u"q\"");
}

TEST(KeysetSql, BuildsStatementsAroundTheTable) {
  EXPECT_EQ(DescribeSql(u"SystemSetting"), u"SELECT * FROM SystemSetting WHERE 1=0");
  EXPECT_EQ(QuoteIdentifier(u"ss\"Desc", u'"', u'"'), u"\"ss\"\"Desc\"");
  EXPECT_EQ(QuoteIdentifier(u"a]b", u'[', u']'), u"[a]]b]");
  EXPECT_EQ(InsertSql(u"t", {u"\"a\"", u"\"b\""}), u"INSERT INTO t (\"a\", \"b\") VALUES (?, ?)");
  EXPECT_EQ(InsertSql(u"t", {}), u"INSERT INTO t DEFAULT VALUES");
}

}  // namespace
}  // namespace wq::db::odbc
