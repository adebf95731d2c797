// What the ODBC engine does on PostgreSQL in particular: server time as a date, connections
// from the engine's own pool, round trips, and failures that never show the password.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "platform/db/connection.h"
#include "platform/db/connection_string.h"
#include "platform/db/odbc/odbc_connection.h"
#include "platform/db/odbc/statistics.h"
#include "platform/error.h"
#include "tests/platform/db/odbc/odbc_backends.h"
#include "tests/platform/db/odbc/pg_statement_log.h"
#include "tests/postgres_required.h"

namespace wq::db::odbc {
namespace {

using ::testing::AllOf;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

class OdbcPostgres : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string why = testing::PostgresUnavailable();
    if (!why.empty()) WQ_SKIP_WITHOUT_POSTGRES() << why;
  }
  static Text WithDriver(TextView driver) {
    Text out;
    const ConnectionString parsed = ConnectionString::Parse(testing::PostgresConnection());
    for (const auto& [key, value] : parsed.pairs()) {
      AppendPair(out, key, EqualsIgnoreCase(key, u"Driver") ? Text(driver) : value);
    }
    return out;
  }
  static std::unique_ptr<OdbcConnection> Open(const Text& conn = testing::PostgresConnection()) {
    return std::make_unique<OdbcConnection>(OdbcTarget{conn, std::nullopt});
  }
  static long BackendPid(Connection& conn) {
    return static_cast<long>(
        conn.Execute(u"SELECT pg_backend_pid() AS pid")->Field(u"pid").integer());
  }
};

TEST_F(OdbcPostgres, ServerTimeArrivesAsADateUnderItsOwnLabel) {
  auto conn = Open();
  EXPECT_EQ(conn->dbms(), "PostgreSQL");
  auto rs = conn->Execute(u"SELECT localtimestamp AS SystemDateTime");
  Value v = rs->Field(u"SystemDateTime");  // PostgreSQL labels it systemdatetime
  ASSERT_TRUE(v.IsDateTime());
  EXPECT_GE(v.date_time().year, 2024);
}

// The engine's own pool, not the driver manager's: the NoPool entry (CPTimeout=-1) keeps unixODBC
// from reusing anything, so a reused server connection is the engine's doing.
TEST_F(OdbcPostgres, ClosedConnectionsGoBackToTheEnginesOwnPool) {
  if (!testing::DriverInstalled(u"PostgreSQL Unicode NoPool")) GTEST_SKIP() << "no NoPool entry";
  const Text conn = WithDriver(u"PostgreSQL Unicode NoPool");
  long first = BackendPid(*Open(conn));
  for (int i = 0; i < 5; ++i) EXPECT_EQ(BackendPid(*Open(conn)), first);
  // Two open at once on one thread share one server connection; on two threads they need two,
  // and both are kept afterwards.
  {
    auto a = Open(conn);
    auto b = Open(conn);
    EXPECT_EQ(BackendPid(*a), BackendPid(*b));
    long other = 0;
    std::thread([&] { other = BackendPid(*Open(conn)); }).join();
    EXPECT_NE(other, BackendPid(*a));
  }
  // An unpooled open takes none of them and keeps nothing.
  auto unpooled = [&] {
    return BackendPid(*std::make_unique<OdbcConnection>(OdbcTarget{conn, std::nullopt}, false));
  };
  long once = unpooled();
  EXPECT_NE(unpooled(), once);
  EXPECT_NE(once, first);
}

TEST_F(OdbcPostgres, OleDbServicesWithoutPoolingConnectsEachTime) {
  const Text conn = WithDriver(u"PostgreSQL Unicode NoPool") + u"OLE DB Services=-2";
  long first = BackendPid(*Connection::Open(conn));
  EXPECT_NE(BackendPid(*Connection::Open(conn)), first);
  EXPECT_THROW(Connection::Open(testing::PostgresConnection() + u";OLE DB Services=x"), Error);
}

// Drivers return decimals as text with a '.'; a host may have set a comma locale.
TEST_F(OdbcPostgres, DecimalsReadTheSameUnderACommaLocale) {
  const char* dir = std::getenv("WEBQUORREL_TEST_LOCPATH");  // scripts/services/locale.sh
  const char* saved = std::getenv("LOCPATH");
  if (dir && *dir) setenv("LOCPATH", dir, 1);
  std::string previous = setlocale(LC_NUMERIC, nullptr);
  const bool comma = setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
  const char point = *localeconv()->decimal_point;
  auto conn = Open();
  auto rs = conn->Execute(u"SELECT 1234.5::numeric(10,2) AS a, 42::numeric(10,0) AS b");
  Value a = rs->Field(u"a"), b = rs->Field(u"b");
  setlocale(LC_NUMERIC, previous.c_str());
  if (saved) {
    setenv("LOCPATH", saved, 1);
  } else {
    unsetenv("LOCPATH");
  }
  if (!comma) WQ_SKIP_WITHOUT_POSTGRES() << "no de_DE.UTF-8 locale (scripts/services/locale.sh)";
  EXPECT_EQ(point, ',');
  ASSERT_TRUE(a.IsReal()) << (a.IsText() ? ToUtf8(a.text()) : "?");
  EXPECT_DOUBLE_EQ(a.real(), 1234.5);
  ASSERT_TRUE(b.IsInteger());
  EXPECT_EQ(b.integer(), 42);
}

TEST_F(OdbcPostgres, KeysetOpenedToAddARowReadsNoRows) {
  Text table = testing::UniqueTableName("addonly");
  auto setup = Open();
  setup->Execute(u"CREATE TABLE " + table + u" (id serial PRIMARY KEY, name varchar(40))");
  setup->Execute(u"INSERT INTO " + table + u" (name) VALUES ('existing')");
  {
    auto conn = Open();
    long pid = BackendPid(*conn);
    testing::PgStatementLog log;
    auto rs = conn->OpenKeyset(u"SELECT * FROM " + table);
    rs->AddNew();
    rs->SetField(u"name", Value(u"new"));
    rs->Update();
    rs->Close();
    EXPECT_THAT(log.StatementsOf(pid),
                ElementsAre(HasSubstr("SELECT * FROM " + ToUtf8(table) + " WHERE 1=0"),
                            HasSubstr("INSERT INTO " + ToUtf8(table) + " (\"name\") VALUES")));
  }
  setup->Execute(u"DROP TABLE " + table);
}

// A deadlock victim was rolled back whole: the INSERT runs once more, once, and is counted. A
// trigger plays the server's deadlock detector: a sequence, which no rollback resets, says when.
TEST_F(OdbcPostgres, DeadlockVictimIsRunOnceMoreAndCounted) {
  const Text table = testing::UniqueTableName("victim");
  auto conn = Open();
  conn->Execute(u"CREATE TABLE " + table + u" (id serial PRIMARY KEY, name text)");
  conn->Execute(u"CREATE SEQUENCE " + table + u"_seq");
  conn->Execute(u"CREATE FUNCTION " + table +
                u"_f() RETURNS trigger LANGUAGE plpgsql AS "
                u"'BEGIN IF nextval(''" +
                table +
                u"_seq'') IN (1, 2, 3) THEN RAISE EXCEPTION "
                u"''deadlock detected'' USING ERRCODE = ''40P01''; END IF; RETURN NEW; END'");
  conn->Execute(u"CREATE TRIGGER " + table + u"_t BEFORE INSERT ON " + table +
                u" FOR EACH ROW EXECUTE FUNCTION " + table + u"_f()");
  auto insert = [&](const Text& name) {
    auto rs = conn->OpenKeyset(u"SELECT * FROM " + table);
    rs->AddNew();
    rs->SetField(u"name", Value(name));
    rs->Update();
  };
  const uint64_t before = DeadlockRetries();
  EXPECT_THROW(insert(u"twice a victim"), DatabaseError);  // 1 and 2: retried once, no more
  EXPECT_EQ(DeadlockRetries(), before + 1);
  // A text longer than nvarchar(4000) travels as one of unbounded size, and compares with '='.
  const Text long_name = u"victim once " + Text(5000, u'é');
  insert(long_name);  // 3 fails, 4 goes through
  EXPECT_EQ(DeadlockRetries(), before + 2);
  EXPECT_EQ(conn->Execute(u"SELECT count(*) AS n FROM " + table)->Field(u"n"), Value(int64_t{1}));
  EXPECT_EQ(conn->Execute(u"SELECT count(*) AS n FROM " + table + u" WHERE name = ?", {long_name})
                ->Field(u"n"),
            Value(int64_t{1}));
  conn->Execute(u"DROP TABLE " + table);
  conn->Execute(u"DROP FUNCTION " + table + u"_f()");
  conn->Execute(u"DROP SEQUENCE " + table + u"_seq");
}

TEST_F(OdbcPostgres, WrongPasswordFailsWithoutShowingIt) {
  const Text wrong = u"Wr0ng;{pass}}word";
  Text conn;
  const ConnectionString parsed = ConnectionString::Parse(testing::PostgresConnection());
  for (const auto& [key, value] : parsed.pairs()) {
    AppendPair(conn, key, IsSecretKey(key) ? wrong : value);
  }
  try {
    Open(conn);
    FAIL() << "connected with a wrong password";
  } catch (const DatabaseError& e) {
    EXPECT_THAT(e.sqlstate(), StartsWith("08"));
    EXPECT_THAT(e.description(), AllOf(HasSubstr("password authentication failed"),
                                       Not(HasSubstr("Wr0ng")), Not(HasSubstr("{pass"))));
  }
}

// Runs SQL as the cluster's superuser through its control script (WEBQUORREL_TEST_PG_CTL).
bool Superuser(const std::string& sql) {
  const char* ctl = std::getenv("WEBQUORREL_TEST_PG_CTL");
  if (!ctl || !*ctl) return false;
  FILE* psql = popen(("'" + std::string(ctl) + "' psql -d postgres >/dev/null").c_str(), "w");
  if (!psql) return false;
  std::string script = "SET log_statement = 'none';\n" + sql + "\n";
  fwrite(script.data(), 1, script.size(), psql);
  return pclose(psql) == 0;
}

TEST_F(OdbcPostgres, HostilePasswordSurvivesTheWayFromAnAdoString) {
  const std::string role = "hostile_" + std::to_string(getpid());
  const std::string password = "p;w{d}}\"q'x = }";
  std::string literal;
  for (char c : password) literal += c == '\'' ? std::string("''") : std::string(1, c);
  if (!Superuser("CREATE ROLE " + role + " LOGIN PASSWORD '" + literal + "';")) {
    WQ_SKIP_WITHOUT_POSTGRES() << "no superuser access (WEBQUORREL_TEST_PG_CTL)";
  }
  // The host's way of writing it: an ADO value in double quotes, '"' doubled.
  std::string quoted;
  for (char c : password) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  Text ado;
  const ConnectionString parsed = ConnectionString::Parse(testing::PostgresConnection());
  for (const auto& [key, value] : parsed.pairs()) {
    if (IsSecretKey(key) || EqualsIgnoreCase(key, u"UID")) continue;
    ado += key + u"=" + (EqualsIgnoreCase(key, u"Driver") ? u"{" + value + u"}" : value) + u";";
  }
  ado += u"UID=" + FromUtf8(role) + u";PWD=\"" + FromUtf8(quoted) + u"\"";
  auto conn = Connection::Open(ado);
  EXPECT_STREQ(conn->engine(), "odbc");
  EXPECT_EQ(conn->dbms(), "PostgreSQL");
  EXPECT_EQ(conn->Execute(u"SELECT current_user AS who")->Field(u"who"), Value(FromUtf8(role)));
  conn.reset();
  // A wrong one fails, and its message shows neither.
  try {
    Connection::Open(ado.substr(0, ado.size() - 2) + u"!\"");
    ADD_FAILURE() << "a wrong password was accepted";
  } catch (const Error& e) {
    EXPECT_THAT(e.description(), AllOf(HasSubstr("Cannot open the database"), Not(HasSubstr("p;w")),
                                       Not(HasSubstr("q'x"))));
  }
  Superuser("DROP ROLE " + role + ";");
}

}  // namespace
}  // namespace wq::db::odbc
