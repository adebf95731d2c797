// ODBC connection-string syntax and keyset SQL: escaping round trips and hostile input.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/db/odbc/keyset_sql.h"
#include "platform/db/odbc/odbc_connection_string.h"
#include "platform/error.h"

namespace wq::db::odbc {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::Pair;

TEST(OdbcValue, QuotesOnlyWhatNeedsIt) {
  EXPECT_EQ(OdbcValue(u"plain value"), u"plain value");
  EXPECT_EQ(OdbcValue(u""), u"");
  EXPECT_EQ(OdbcValue(u"a;b"), u"{a;b}");
  EXPECT_EQ(OdbcValue(u"a}b"), u"{a}}b}");
  EXPECT_EQ(OdbcValue(u"{x}"), u"{{x}}}");
  EXPECT_EQ(OdbcValue(u" lead"), u"{ lead}");
  EXPECT_EQ(OdbcValue(u"trail\t"), u"{trail\t}");
}

TEST(OdbcValue, RejectsNulWithoutQuotingIt) {
  try {
    OdbcValue(Text(u"sec") + u'\0' + u"ret");
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), kInvalidProcedureCall);
    EXPECT_THAT(e.description(), Not(HasSubstr("sec")));
  }
}

TEST(OdbcConnectionString, HostileValuesRoundTrip) {
  const std::vector<Text> hostile = {u"a;b",
                                     u"}",
                                     u"{",
                                     u"}}{{",
                                     u"x}=y;z",
                                     u" both ",
                                     u"'quoted\"",
                                     u"PWD=evil;UID=root",
                                     u"{already braced}",
                                     u"中文;密码}",
                                     u"\U0001F600;"};
  for (const Text& value : hostile) {
    Text s;
    AppendOdbcPair(s, u"Driver", u"{PostgreSQL Unicode}");
    AppendOdbcPair(s, u"PWD", value);
    AppendOdbcPair(s, u"UID", u"me");
    OdbcPairs pairs = ParseOdbcConnectionString(s);
    ASSERT_EQ(pairs.size(), 3u) << ToUtf8(s);
    EXPECT_EQ(pairs[1].second, value) << ToUtf8(s);
    EXPECT_EQ(pairs[2], (std::pair<Text, Text>(u"UID", u"me")));
  }
}

TEST(OdbcConnectionString, ParsesDriverManagerSyntax) {
  EXPECT_THAT(ParseOdbcConnectionString(u" DSN = host ;;UID=sa; PWD={a;b}}c} ;Port=5432"),
              ElementsAre(Pair(u"DSN", u"host "), Pair(u"UID", u"sa"), Pair(u"PWD", u"a;b}c"),
                          Pair(u"Port", u"5432")));
  EXPECT_TRUE(ParseOdbcConnectionString(u"").empty());
}

TEST(OdbcConnectionString, MalformedInputFailsWithoutQuotingValues) {
  for (Text bad : {Text(u"PWD={secret;UID=x"), Text(u"PWD={secret}tail;UID=x"),
                   Text(u"secret;UID=x"), Text(u"UID=x;secret")}) {
    try {
      ParseOdbcConnectionString(bad);
      FAIL() << ToUtf8(bad);
    } catch (const Error& e) {
      EXPECT_EQ(e.number(), kInvalidProcedureCall);
      EXPECT_THAT(e.description(), Not(HasSubstr("secret")));
    }
  }
}

TEST(OdbcConnectionString, SecretKeysIgnoreCase) {
  EXPECT_TRUE(IsSecretKey(u"pwd"));
  EXPECT_TRUE(IsSecretKey(u"PASSWORD"));
  EXPECT_FALSE(IsSecretKey(u"UID"));
}

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
