// ADO connection strings to ODBC: provider routing, keyword mapping and hostile values.
#include "platform/db/odbc/ado_translate.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/db/connection_string.h"
#include "platform/db/odbc/odbc_connection_string.h"
#include "platform/error.h"

namespace wq::db::odbc {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::Pair;
using Pairs = std::vector<std::pair<Text, Text>>;

const std::vector<Text> kFreeTds = {u"PostgreSQL Unicode", u"FreeTDS"};
const std::vector<Text> kMicrosoft = {u"SQL Server", u"ODBC Driver 17 for SQL Server",
                                      u"ODBC Driver 18 for SQL Server", u"FreeTDS"};

OdbcPairs Translated(const Pairs& ado, const std::vector<Text>& drivers = kFreeTds) {
  std::optional<OdbcTarget> target = TranslateAdoToOdbc(ado, drivers);
  EXPECT_TRUE(target.has_value());
  return target ? ParseOdbcConnectionString(target->connection_string) : OdbcPairs{};
}

TEST(ChooseSqlServerDriver, PrefersNewestMicrosoftDriverThenFreeTds) {
  EXPECT_EQ(ChooseSqlServerDriver(kMicrosoft, u"SQL Server"), u"ODBC Driver 18 for SQL Server");
  EXPECT_EQ(ChooseSqlServerDriver(
                {u"ODBC Driver 9 for SQL Server", u"ODBC Driver 13 for SQL Server"}, u"x"),
            u"ODBC Driver 13 for SQL Server");
  EXPECT_EQ(ChooseSqlServerDriver(kFreeTds, u"SQL Server"), u"FreeTDS");
  EXPECT_EQ(ChooseSqlServerDriver({u"ODBC Driver X for SQL Server", u"SQL Server"}, u"FreeTDS"),
            u"SQL Server");
  EXPECT_EQ(ChooseSqlServerDriver({}, u"FreeTDS"), u"FreeTDS");
}

TEST(TranslateAdoToOdbc, MapsSqlServerProviderKeywords) {
  EXPECT_THAT(
      Translated({{u"Provider", u"SQLOLEDB.1"},
                  {u"Persist Security Info", u"False"},
                  {u"Data Source", u"db1,1433"},
                  {u"Initial Catalog", u"Host"},
                  {u"User ID", u"sa"},
                  {u"Password", u"pw"},
                  {u"Packet Size", u"4096"}}),
      ElementsAre(Pair(u"Driver", u"FreeTDS"), Pair(u"Server", u"db1"), Pair(u"Port", u"1433"),
                  Pair(u"Database", u"Host"), Pair(u"UID", u"sa"), Pair(u"PWD", u"pw")));
  EXPECT_THAT(Translated({{u"provider", u"MSOLEDBSQL"},
                          {u"Server", u"tcp:db1\\INST,1500"},
                          {u"Database", u"Host"},
                          {u"UID", u"sa"},
                          {u"PWD", u"pw"}},
                         kMicrosoft),
              ElementsAre(Pair(u"Driver", u"ODBC Driver 18 for SQL Server"),
                          Pair(u"Server", u"tcp:db1\\INST,1500"), Pair(u"Database", u"Host"),
                          Pair(u"UID", u"sa"), Pair(u"PWD", u"pw"), Pair(u"Encrypt", u"no")));
}

TEST(TranslateAdoToOdbc, FreeTdsGetsHostAndPortApartAndLocalNamesResolved) {
  EXPECT_THAT(Translated({{u"Provider", u"SQLNCLI11"}, {u"Address", u"(local)\\SQLEXPRESS"}}),
              ElementsAre(Pair(u"Driver", u"FreeTDS"), Pair(u"Server", u"localhost\\SQLEXPRESS")));
  EXPECT_THAT(Translated({{u"Provider", u"SQLNCLI"}, {u"Data Source", u"."}}),
              ElementsAre(Pair(u"Driver", u"FreeTDS"), Pair(u"Server", u"localhost")));
}

TEST(TranslateAdoToOdbc, IntegratedSecurityReplacesTheLogin) {
  EXPECT_THAT(Translated({{u"Provider", u"SQLOLEDB"},
                          {u"Integrated Security", u"SSPI"},
                          {u"User ID", u"ignored"},
                          {u"Data Source", u"db"}}),
              ElementsAre(Pair(u"Driver", u"FreeTDS"), Pair(u"Server", u"db"),
                          Pair(u"Trusted_Connection", u"Yes")));
  EXPECT_THAT(
      Translated(
          {{u"Provider", u"SQLOLEDB"}, {u"Integrated Security", u"false"}, {u"User ID", u"sa"}}),
      ElementsAre(Pair(u"Driver", u"FreeTDS"), Pair(u"UID", u"sa")));
  EXPECT_THROW(TranslateAdoToOdbc({{u"Provider", u"SQLOLEDB"}, {u"Integrated Security", u"maybe"}},
                                  kFreeTds),
               Error);
}

TEST(TranslateAdoToOdbc, EncryptionFollowsTheProvider) {
  auto target = [](const Pairs& p) {
    return ParseOdbcConnectionString(TranslateAdoToOdbc(p, kMicrosoft)->connection_string);
  };
  EXPECT_THAT(target({{u"Provider", u"MSOLEDBSQL19"}}),
              ElementsAre(Pair(u"Driver", u"ODBC Driver 18 for SQL Server")));
  EXPECT_THAT(target({{u"Provider", u"MSOLEDBSQL19"},
                      {u"Use Encryption for Data", u"true"},
                      {u"Trust Server Certificate", u"yes"}}),
              ElementsAre(Pair(u"Driver", u"ODBC Driver 18 for SQL Server"),
                          Pair(u"Encrypt", u"yes"), Pair(u"TrustServerCertificate", u"yes")));
  EXPECT_THAT(Translated({{u"Provider", u"SQLOLEDB"}, {u"Encrypt", u"yes"}}),
              ElementsAre(Pair(u"Driver", u"FreeTDS"), Pair(u"Encryption", u"require")));
  // Windows' own old "SQL Server" driver never encrypts unless asked.
  EXPECT_THAT(
      ParseOdbcConnectionString(
          TranslateAdoToOdbc({{u"Provider", u"SQLOLEDB"}}, {u"SQL Server"})->connection_string),
      ElementsAre(Pair(u"Driver", u"SQL Server")));
}

TEST(TranslateAdoToOdbc, ConnectTimeoutBecomesTheLoginTimeout) {
  auto timeout = [](TextView v) {
    return TranslateAdoToOdbc({{u"Provider", u"SQLOLEDB"}, {u"Connect Timeout", Text(v)}}, kFreeTds)
        ->login_timeout;
  };
  EXPECT_EQ(timeout(u"5"), 5);
  EXPECT_EQ(timeout(u" 30 "), 30);
  EXPECT_EQ(timeout(u"0"), 15);  // never wait for ever
  EXPECT_EQ(timeout(u"999999"), 3600);
  for (TextView bad : {u"", u"-1", u"5s", u"1e3", u"9999999"}) {
    EXPECT_THROW(timeout(bad), Error) << ToUtf8(bad);
  }
  EXPECT_FALSE(TranslateAdoToOdbc({{u"Provider", u"SQLOLEDB"}}, kFreeTds)->login_timeout);
}

TEST(TranslateAdoToOdbc, HostileValuesArriveIntact) {
  const std::vector<Text> hostile = {u"p;w",     u"p}w", u"{pw", u" pw ",  u"p'w\"",
                                     u"x;PWD=y", u"{",   u"}",   u"密码;}"};
  for (const Text& value : hostile) {
    OdbcPairs pairs = Translated({{u"Provider", u"SQLOLEDB"},
                                  {u"Data Source", u"db"},
                                  {u"User ID", value},
                                  {u"Password", value},
                                  {u"Initial Catalog", value}});
    ASSERT_EQ(pairs.size(), 5u) << ToUtf8(value);
    EXPECT_THAT(pairs,
                ElementsAre(Pair(u"Driver", u"FreeTDS"), Pair(u"Server", u"db"),
                            Pair(u"Database", value), Pair(u"UID", value), Pair(u"PWD", value)))
        << ToUtf8(value);
  }
}

TEST(TranslateAdoToOdbc, BracedValuesFromTheAdoParserAreUnwrapped) {
  // ConnectionString keeps the braces and has read "}}" as '}' already.
  EXPECT_THAT(Translated({{u"Provider", u"SQLOLEDB"}, {u"Password", u"{a;b}c}"}}),
              ElementsAre(Pair(u"Driver", u"FreeTDS"), Pair(u"PWD", u"a;b}c")));
}

// Whole ADO strings as hosts write them, through the ADO parser, to the values ODBC receives.
TEST(TranslateAdoToOdbc, HostileAdoStringsKeepTheirValues) {
  struct Case {
    Text ado;
    Text password;
  };
  const std::vector<Case> cases = {
      {u"Provider=SQLOLEDB;Data Source=db;Password=\"p;w\"", u"p;w"},
      {u"Provider=SQLOLEDB;Data Source=db;Password='it''s;{x}'", u"it's;{x}"},
      {u"Provider=SQLOLEDB;Data Source=db;Password={a}}b;c}", u"a}b;c"},
      {u"Provider=SQLOLEDB;Data Source=db;Password=\"}}\"\"{\"", u"}}\"{"},
      {u"Provider=SQLOLEDB;Data Source=db;Password=  spaced  ", u"spaced"},
      {u"Provider=SQLOLEDB;Data Source=db;Password=\" spaced \"", u" spaced "},
  };
  for (const Case& c : cases) {
    ConnectionString cs = ConnectionString::Parse(c.ado);
    OdbcPairs pairs = Translated(cs.pairs());
    EXPECT_THAT(pairs, ElementsAre(Pair(u"Driver", u"FreeTDS"), Pair(u"Server", u"db"),
                                   Pair(u"PWD", c.password)))
        << ToUtf8(c.ado);
  }
  ConnectionString odbc =
      ConnectionString::Parse(u"Driver={PostgreSQL Unicode};Server=h;PWD={x}};y=z}");
  std::optional<OdbcTarget> target = TranslateAdoToOdbc(odbc.pairs(), kFreeTds);
  ASSERT_TRUE(target);
  EXPECT_THAT(ParseOdbcConnectionString(target->connection_string),
              ElementsAre(Pair(u"Driver", u"PostgreSQL Unicode"), Pair(u"Server", u"h"),
                          Pair(u"PWD", u"x};y=z")));
}

TEST(TranslateAdoToOdbc, OdbcStringsPassThroughWithoutTheProvider) {
  std::optional<OdbcTarget> dsn = TranslateAdoToOdbc({{u"Provider", u"MSDASQL.1"},
                                                      {u"DSN", u"Host"},
                                                      {u"UID", u"sa"},
                                                      {u"PWD", u"{a;b}"},
                                                      {u"Connect Timeout", u"7"}},
                                                     kFreeTds);
  ASSERT_TRUE(dsn);
  EXPECT_EQ(dsn->connection_string, u"DSN=Host;UID=sa;PWD={a;b}");
  EXPECT_EQ(dsn->login_timeout, 7);
  std::optional<OdbcTarget> driver = TranslateAdoToOdbc(
      {{u"Driver", u"{PostgreSQL Unicode}"}, {u"Server", u"127.0.0.1"}, {u"PWD", u"x;y"}},
      kFreeTds);
  ASSERT_TRUE(driver);
  EXPECT_EQ(driver->connection_string, u"Driver={PostgreSQL Unicode};Server=127.0.0.1;PWD={x;y}");
  EXPECT_TRUE(TranslateAdoToOdbc({{u"FILEDSN", u"/etc/x.dsn"}}, kFreeTds));
  EXPECT_THROW(TranslateAdoToOdbc({{u"DSN", u"x"}, {u"Bad{Key", u"v"}}, kFreeTds), Error);
}

TEST(TranslateAdoToOdbc, LeavesSqliteStringsToTheEmbeddedEngine) {
  EXPECT_FALSE(
      TranslateAdoToOdbc({{u"Provider", u"SQLite"}, {u"Data Source", u"/tmp/x.db"}}, kFreeTds));
  EXPECT_FALSE(TranslateAdoToOdbc({{u"Data Source", u"/tmp/x.db"}}, kFreeTds));
}

TEST(TranslateAdoToOdbc, OtherProvidersAreNotForOdbc) {
  EXPECT_FALSE(
      TranslateAdoToOdbc({{u"Provider", u"Microsoft.Jet.OLEDB.4.0"}, {u"DSN", u"x"}}, kFreeTds));
  EXPECT_FALSE(TranslateAdoToOdbc({{u"Provider", u"MSDAORA"}}, kFreeTds));
}

TEST(TranslateAdoToOdbc, NulInAValueIsRefused) {
  Text evil = Text(u"pw") + u'\0' + u"x";
  EXPECT_THROW(TranslateAdoToOdbc({{u"Provider", u"SQLOLEDB"}, {u"Password", evil}}, kFreeTds),
               Error);
  EXPECT_THROW(TranslateAdoToOdbc({{u"DSN", u"x"}, {u"PWD", evil}}, kFreeTds), Error);
}

}  // namespace
}  // namespace wq::db::odbc
