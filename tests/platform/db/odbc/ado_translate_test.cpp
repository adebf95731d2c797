// ADO connection strings to ODBC: provider routing, keyword mapping per driver, hostile values.
#include "platform/db/odbc/ado_translate.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/db/connection_string.h"
#include "platform/error.h"

namespace wq::db::odbc {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using Pairs = std::vector<std::pair<Text, Text>>;

const std::vector<Text> kFreeTds = {u"PostgreSQL Unicode", u"FreeTDS"};
const std::vector<Text> kDriver18 = {u"SQL Server", u"ODBC Driver 17 for SQL Server",
                                     u"ODBC Driver 18 for SQL Server", u"FreeTDS"};
const std::vector<Text> kDriver17 = {u"ODBC Driver 17 for SQL Server"};
const std::vector<Text> kNativeClient = {u"SQL Server Native Client 11.0", u"SQL Server"};
const std::vector<Text> kLegacy = {u"SQL Server"};

// The whole path as a host string takes it: the ADO parser, then the translation.
std::optional<OdbcTarget> Translate(TextView ado, const std::vector<Text>& drivers) {
  return TranslateAdoToOdbc(ConnectionString::Parse(ado).pairs(), drivers);
}

Text Odbc(TextView ado, const std::vector<Text>& drivers) {
  std::optional<OdbcTarget> target = Translate(ado, drivers);
  EXPECT_TRUE(target.has_value()) << ToUtf8(ado);
  return target ? target->connection_string : Text(u"(not for ODBC)");
}

TEST(ChooseSqlServerDriver, PrefersNewestMicrosoftDriverThenFreeTds) {
  EXPECT_EQ(ChooseSqlServerDriver(kDriver18, u"SQL Server"), u"ODBC Driver 18 for SQL Server");
  EXPECT_EQ(ChooseSqlServerDriver(
                {u"ODBC Driver 9 for SQL Server", u"ODBC Driver 13 for SQL Server"}, u"x"),
            u"ODBC Driver 13 for SQL Server");
  EXPECT_EQ(ChooseSqlServerDriver(kFreeTds, u"SQL Server"), u"FreeTDS");
  EXPECT_EQ(ChooseSqlServerDriver({u"ODBC Driver X for SQL Server", u"SQL Server"}, u"FreeTDS"),
            u"SQL Server");
  EXPECT_EQ(ChooseSqlServerDriver({}, u"FreeTDS"), u"FreeTDS");
}

// What each driver receives for the strings hosts write: the address, the login, the names,
// the encryption the provider implied, and the keywords each driver can carry.
TEST(TranslateAdoToOdbc, SqlServerProvidersPerDriver) {
  struct Case {
    const char16_t* ado;
    const std::vector<Text>* drivers;
    const char16_t* odbc;
  };
  const Case cases[] = {
      // FreeTDS: host, port and protocol version always explicit; the port wins over an
      // instance; encryption as the old providers negotiated it.
      {u"Provider=SQLOLEDB.1;Persist Security Info=False;Data Source=db1,1433;Initial "
       u"Catalog=Host;User ID=sa;Password=pw;Packet Size=4096",
       &kFreeTds,
       u"Driver={FreeTDS};Server=db1;Port=1433;TDS_Version=7.3;Database=Host;UID=sa;PWD=pw;"
       u"Encryption=request;"},
      {u"Provider=SQLNCLI11;Data Source=db1", &kFreeTds,
       u"Driver={FreeTDS};Server=db1;Port=1433;TDS_Version=7.3;Encryption=request;"},
      {u"Provider=SQLNCLI11;Address=(local)\\SQLEXPRESS;Data Source=ignored", &kFreeTds,
       u"Driver={FreeTDS};Server=localhost\\SQLEXPRESS;TDS_Version=7.3;Encryption=request;"},
      {u"Provider=SQLNCLI;Data Source=tcp:db\\INST , 1500", &kFreeTds,
       u"Driver={FreeTDS};Server=db;Port=1500;TDS_Version=7.3;Encryption=request;"},
      {u"Provider=SQLOLEDB;Data Source=.;Integrated Security=SSPI;User ID=ignored", &kFreeTds,
       u"Driver={FreeTDS};Server=localhost;Port=1433;TDS_Version=7.3;Trusted_Connection=Yes;"
       u"Encryption=request;"},
      {u"Provider=SQLOLEDB;Data Source=db;Application Name=Host App;Workstation ID=PC 7;"
       u"ApplicationIntent=ReadOnly;MultiSubnetFailover=True;Failover Partner=db2",
       &kFreeTds,
       u"Driver={FreeTDS};Server=db;Port=1433;TDS_Version=7.3;APP=Host App;WSID=PC 7;"
       u"ApplicationIntent=ReadOnly;Encryption=request;"},
      {u"Provider=SQLOLEDB;Data Source=db;Use Encryption for Data=true", &kFreeTds,
       u"Driver={FreeTDS};Server=db;Port=1433;TDS_Version=7.3;Encryption=require;"},
      {u"Provider=MSOLEDBSQL19;Data Source=db", &kFreeTds,
       u"Driver={FreeTDS};Server=db;Port=1433;TDS_Version=7.3;Encryption=require;"},
      {u"Provider=MSOLEDBSQL19;Data Source=db;Use Encryption for Data=Optional", &kFreeTds,
       u"Driver={FreeTDS};Server=db;Port=1433;TDS_Version=7.3;Encryption=request;"},
      // FreeTDS reads a bare value up to ';' and braces only what must be; its braces run to
      // the first "};" with '}' single.
      {u"Provider=SQLOLEDB;Data Source=db;Password=p}w=;User ID={ a;b};Database=\"'x\"", &kFreeTds,
       u"Driver={FreeTDS};Server=db;Port=1433;TDS_Version=7.3;Database={'x};UID={ a;b};"
       u"PWD=p}w=;Encryption=request;"},
      {u"Provider=SQLOLEDB;Data Source=[::1],1500;Password=\"pa;ss{w}rd\";User ID=\"{u}x\"",
       &kFreeTds,
       u"Driver={FreeTDS};Server=::1;Port=1500;TDS_Version=7.3;UID={{u}x};PWD={pa;ss{w}rd};"
       u"Encryption=request;"},
      // An ADO keyword beats its provider-string synonym wherever either stands; an empty
      // Address is the local server.
      {u"Provider=SQLOLEDB;Initial Catalog=a;Database=b;PWD=p2;Password=p1;Language=en;"
       u"Current Language=Deutsch;Server SPN=MSSQLSvc/db:1433;Address=;Data Source=db",
       &kFreeTds,
       u"Driver={FreeTDS};Server=localhost;Port=1433;TDS_Version=7.3;Database=a;PWD=p1;"
       u"Language=Deutsch;ServerSPN=MSSQLSvc/db:1433;Encryption=request;"},
      {u"Provider=SQLOLEDB;Address=;Data Source=db;Authentication=SqlPassword", &kFreeTds,
       u"Driver={FreeTDS};Server=localhost;Port=1433;TDS_Version=7.3;Encryption=request;"},
      // Microsoft's drivers: the legacy providers never checked a forced certificate.
      {u"provider=MSOLEDBSQL;Server=tcp:db1\\INST,1500;Database=Host;UID=sa;PWD=pw", &kDriver18,
       u"Driver={ODBC Driver 18 for SQL Server};Server=tcp:db1\\INST,1500;Database=Host;UID=sa;"
       u"PWD=pw;Encrypt=no;TrustServerCertificate=yes;"},
      {u"Provider=SQLOLEDB;Data Source=db;Encrypt=no", &kDriver17,
       u"Driver={ODBC Driver 17 for SQL Server};Server=db;Encrypt=no;"
       u"TrustServerCertificate=yes;"},
      {u"Provider=SQLOLEDB;Data Source=db;Use Encryption for Data=yes", &kDriver18,
       u"Driver={ODBC Driver 18 for SQL Server};Server=db;Encrypt=yes;"},
      {u"Provider=SQLOLEDB;Use Encryption for Data=Mandatory;Trust Server Certificate=true",
       &kDriver18,
       u"Driver={ODBC Driver 18 for SQL Server};Encrypt=yes;TrustServerCertificate=yes;"},
      {u"Provider=MSOLEDBSQL19", &kDriver18,
       u"Driver={ODBC Driver 18 for SQL Server};Encrypt=yes;"},
      {u"Provider=MSOLEDBSQL19;Use Encryption for Data=Optional", &kDriver18,
       u"Driver={ODBC Driver 18 for SQL Server};Encrypt=no;"},
      {u"Provider=MSOLEDBSQL19;Use Encryption for Data=Strict", &kDriver18,
       u"Driver={ODBC Driver 18 for SQL Server};Encrypt=strict;"},
      {u"Provider=SQLOLEDB;Data Source=db;Application Name=App;Workstation ID=PC;"
       u"ApplicationIntent=readonly;MultiSubnetFailover=yes;Failover Partner=db2",
       &kDriver18,
       u"Driver={ODBC Driver 18 for SQL Server};Server=db;APP=App;WSID=PC;"
       u"ApplicationIntent=readonly;MultiSubnetFailover=Yes;Failover_Partner=db2;Encrypt=no;"
       u"TrustServerCertificate=yes;"},
      // Entra ID logins, certificate names and SPNs where Microsoft's drivers take them.
      {u"Provider=MSOLEDBSQL19;Server=[::1];Address=;Authentication=ActiveDirectoryPassword;"
       u"HostNameInCertificate=db.example;ServerSPN=MSSQLSvc/db;FailoverPartner=db2;"
       u"Current Language=us_english",
       &kDriver18,
       u"Driver={ODBC Driver 18 for SQL Server};Server=;Authentication=ActiveDirectoryPassword;"
       u"Language=us_english;Failover_Partner=db2;ServerSPN=MSSQLSvc/db;"
       u"HostnameInCertificate=db.example;Encrypt=yes;"},
      {u"Provider=SQLOLEDB;Data Source=db;Authentication=ActiveDirectoryMsi", &kDriver17,
       u"Driver={ODBC Driver 17 for SQL Server};Server=db;Authentication=ActiveDirectoryMsi;"
       u"Encrypt=no;TrustServerCertificate=yes;"},
      // Native Client and the old "SQL Server" driver behave as the old providers by themselves.
      {u"Provider=SQLOLEDB;Data Source=db;MultiSubnetFailover=yes", &kNativeClient,
       u"Driver={SQL Server Native Client 11.0};Server=db;MultiSubnetFailover=Yes;"},
      {u"Provider=MSOLEDBSQL19;Trust Server Certificate=yes", &kNativeClient,
       u"Driver={SQL Server Native Client 11.0};Encrypt=yes;TrustServerCertificate=yes;"},
      {u"Provider=SQLOLEDB;Data Source=db;ApplicationIntent=ReadOnly;Workstation ID=PC", &kLegacy,
       u"Driver={SQL Server};Server=db;WSID=PC;"},
      {u"Provider=MSOLEDBSQL19;Data Source=db", &kLegacy,
       u"Driver={SQL Server};Server=db;Encrypt=yes;"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ToUtf8(Odbc(c.ado, *c.drivers)), ToUtf8(c.odbc)) << ToUtf8(c.ado);
  }
}

TEST(TranslateAdoToOdbc, RefusesWhatTheDriverCannotTakeNamingTheKeywordOnly) {
  struct Case {
    const char16_t* ado;
    const std::vector<Text>* drivers;
    const char* says;
  };
  const Case cases[] = {
      // FreeTDS ends a braced value at the first "};", the driver manager at a single '}'.
      {u"Provider=SQLOLEDB;Password={s3c}};ret}", &kFreeTds, "PWD"},
      {u"Provider=SQLOLEDB;User ID=\"s3}c;ret\"", &kFreeTds, "UID"},
      {u"Provider=SQLOLEDB;Initial Catalog=\" s3cret};\"", &kFreeTds, "Database"},
      {u"Provider=SQLOLEDB;Password=\"s3;cret}\"", &kFreeTds, "PWD"},
      {u"Provider=SQLOLEDB;Data Source=(localdb)\\s3cret", &kFreeTds, "LocalDB"},
      {u"Provider=SQLOLEDB;Host Name In Certificate=s3cret", &kFreeTds, "Driver 18"},
      {u"Provider=SQLOLEDB;HostNameInCertificate=s3cret", &kDriver17, "Driver 18"},
      {u"Provider=SQLOLEDB;Authentication=ActiveDirectoryIntegrated", &kFreeTds, "Driver 17"},
      {u"Provider=SQLOLEDB;Authentication=ActiveDirectoryPassword", &kNativeClient, "Driver 17"},
      {u"Provider=SQLOLEDB;Authentication=s3cret", &kDriver18, "Authentication"},
      {u"Provider=SQLOLEDB;Data Source=(localdb)\\s3cret", &kDriver18, "TCP"},
      {u"Provider=SQLOLEDB;Data Source=np:\\\\s3cret\\pipe", &kDriver18, "TCP"},
      // The SQLite ODBC driver knows no braces; a DSN's driver is not known: the same rule.
      {u"Driver=SQLite3;Database=/tmp/x.db;UID=\"x;LoadExt=/s3cret/evil.so\"", &kFreeTds, "UID"},
      {u"Driver=SQLite3;Database=/tmp/x.db;PWD=\"a};LoadExt=/s3cret/evil.so;x\"", &kFreeTds, "PWD"},
      {u"Driver=SQLite3;Database={ {s3cret}", &kFreeTds, "Database"},
      {u"Provider=MSDASQL;Data Source=Host;Password=\"s3;cret\"", &kFreeTds, "PWD"},
      {u"DSN=Host;PWD={s3;cret}", &kFreeTds, "strictest"},
      {u"Driver=\"SQLite3;LoadExt=/s3cret/evil.so\";Database=x", &kFreeTds, "driver name"},
      {u"Provider=SQLOLEDB;Data Source=np:\\\\s3cret\\pipe\\sql\\query", &kFreeTds, "TCP"},
      {u"Provider=SQLOLEDB;Data Source=db,s3cret", &kFreeTds, "port"},
      {u"Provider=MSOLEDBSQL19;Use Encryption for Data=Strict", &kFreeTds, "Driver 18"},
      {u"Provider=MSOLEDBSQL19;Use Encryption for Data=Strict", &kDriver17, "Driver 18"},
      {u"Provider=MSOLEDBSQL19;Use Encryption for Data=s3cret", &kDriver18, "Mandatory"},
      {u"Provider=SQLOLEDB;Integrated Security=s3cret", &kFreeTds, "Integrated Security"},
      {u"Provider=SQLOLEDB;Trust Server Certificate=SSPI", &kDriver18, "Trust Server"},
      {u"Provider=SQLOLEDB;ApplicationIntent=s3cret", &kDriver18, "ReadOnly"},
      {u"DSN=Host;SAVEFILE=/tmp/s3cret.dsn", &kFreeTds, "SAVEFILE is refused"},
      {u"Provider=MSDASQL;Data Source=Host;Extended Properties=\"savefile=/tmp/s3cret\"", &kFreeTds,
       "SAVEFILE"},
  };
  for (const Case& c : cases) {
    try {
      Translate(c.ado, *c.drivers);
      ADD_FAILURE() << "accepted: " << ToUtf8(c.ado);
    } catch (const Error& e) {
      EXPECT_EQ(e.number(), kInvalidProcedureCall);
      EXPECT_THAT(e.description(), HasSubstr(c.says)) << ToUtf8(c.ado);
      EXPECT_THAT(e.description(), Not(HasSubstr("s3c"))) << ToUtf8(c.ado);
    }
  }
  Text nul = Text(u"pw") + u'\0' + u"x";
  EXPECT_THROW(TranslateAdoToOdbc({{u"Provider", u"SQLOLEDB"}, {u"Password", nul}}, kFreeTds),
               Error);
  EXPECT_THROW(TranslateAdoToOdbc({{u"Provider", u"SQLOLEDB"}, {u"Password", nul}}, kDriver18),
               Error);
  EXPECT_THROW(TranslateAdoToOdbc({{u"DSN", u"x"}, {u"PWD", nul}}, kFreeTds), Error);
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

// FreeTDS checks a certificate only with a CA file in its own configuration: the site is told
// when the host asked for a checked certificate.
TEST(TranslateAdoToOdbc, WarnsWhereFreeTdsMayNotCheckTheCertificate) {
  EXPECT_THAT(Translate(u"Provider=MSOLEDBSQL19;Data Source=db", kFreeTds)->warning,
              HasSubstr("ca file"));
  EXPECT_THAT(Translate(u"Provider=SQLOLEDB;Encrypt=yes", kFreeTds)->warning, HasSubstr("ca file"));
  for (const char16_t* quiet : {u"Provider=SQLOLEDB;Data Source=db",
                                u"Provider=MSOLEDBSQL19;Trust Server Certificate=true"}) {
    EXPECT_EQ(Translate(quiet, kFreeTds)->warning, "") << ToUtf8(quiet);
  }
  EXPECT_EQ(Translate(u"Provider=MSOLEDBSQL19", kDriver18)->warning, "");
}

// Hostile values reach Microsoft's drivers intact, through the ADO parser and back.
TEST(TranslateAdoToOdbc, HostileValuesArriveIntact) {
  for (const Text& value :
       {Text(u"p;w"), Text(u"p}w"), Text(u"{pw"), Text(u" pw "), Text(u"p'w\""), Text(u"x;PWD=y"),
        Text(u"{"), Text(u"}"), Text(u"密码;}"), Text(u"'q'")}) {
    const Pairs pairs = {{u"Provider", u"SQLOLEDB"},
                         {u"Data Source", u"db"},
                         {u"User ID", value},
                         {u"Password", value},
                         {u"Initial Catalog", value}};
    const ConnectionString odbc =
        ConnectionString::Parse(TranslateAdoToOdbc(pairs, kDriver18)->connection_string);
    EXPECT_EQ(odbc.Get(u"UID"), value) << ToUtf8(value);
    EXPECT_EQ(odbc.Get(u"PWD"), value) << ToUtf8(value);
    EXPECT_EQ(odbc.Get(u"Database"), value) << ToUtf8(value);
  }
}

TEST(TranslateAdoToOdbc, OdbcStringsPassThroughWithoutTheProvider) {
  std::optional<OdbcTarget> dsn =
      Translate(u"Provider=MSDASQL.1;DSN=Host;UID=sa;PWD=a}b;Connect Timeout=7", kFreeTds);
  ASSERT_TRUE(dsn);
  EXPECT_EQ(dsn->connection_string, u"DSN=Host;UID=sa;PWD=a}b;");
  EXPECT_EQ(dsn->login_timeout, 7);
  // MSDASQL maps its own keywords as the provider does (a .udl file's string, Extended
  // Properties); an ADO keyword beats its ODBC synonym, and each key goes once.
  EXPECT_EQ(Odbc(u"Provider=MSDASQL.1;Persist Security Info=False;User ID=clerk;Password=pw;"
                 u"Data Source=SiteDSN;Initial Catalog=ledger",
                 kFreeTds),
            u"UID=clerk;PWD=pw;DSN=SiteDSN;DATABASE=ledger;");
  EXPECT_EQ(
      Odbc(u"Provider=MSDASQL;Extended Properties=\"DSN=x;UID=y;PWD=z\";UID=q;User ID=u", kFreeTds),
      u"DSN=x;UID=u;PWD=z;");
  EXPECT_EQ(Odbc(u"Driver={SQLite3};Database=/tmp/a b.db;Database=/tmp/c.db;PWD=p}w", kFreeTds),
            u"Driver={SQLite3};Database=/tmp/c.db;PWD=p}w;");
  EXPECT_EQ(Odbc(u"Driver={PostgreSQL Unicode};Server=127.0.0.1;PWD={x}};y=z}", kFreeTds),
            u"Driver={PostgreSQL Unicode};Server=127.0.0.1;PWD={x}};y=z};");
  EXPECT_TRUE(Translate(u"FILEDSN=/etc/x.dsn", kFreeTds));
  EXPECT_THROW(TranslateAdoToOdbc({{u"DSN", u"x"}, {u"Bad{Key", u"v"}}, kFreeTds), Error);
}

TEST(TranslateAdoToOdbc, OtherStringsAreNotForOdbc) {
  EXPECT_FALSE(Translate(u"Provider=SQLite;Data Source=/tmp/x.db", kFreeTds));
  EXPECT_FALSE(Translate(u"Data Source=/tmp/x.db", kFreeTds));
  EXPECT_FALSE(Translate(u"Provider=Microsoft.Jet.OLEDB.4.0;DSN=x", kFreeTds));
  EXPECT_FALSE(Translate(u"Provider=MSDAORA", kFreeTds));
}

}  // namespace
}  // namespace wq::db::odbc
