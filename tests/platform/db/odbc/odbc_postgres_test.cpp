// What the ODBC engine does on PostgreSQL in particular: server time as a date, connections
// from the engine's own pool, round trips, and failures that never show the password.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "platform/db/connection_string.h"
#include "platform/db/odbc/connection_pool.h"
#include "platform/db/register.h"
#include "platform/error.h"
#include "tests/error_of.h"
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
  static std::unique_ptr<testing::Direct> Open(const Text& conn = testing::PostgresConnection(),
                                               bool pooled = true) {
    return std::make_unique<testing::Direct>(conn, pooled);
  }
  static long BackendPid(testing::Direct& conn) {
    return static_cast<long>(conn.One(u"SELECT pg_backend_pid() AS pid").integer());
  }
};

TEST_F(OdbcPostgres, ServerTimeArrivesAsADateUnderItsOwnLabel) {
  auto conn = Open();
  EXPECT_EQ(conn->session().dbms(), "PostgreSQL");
  Value v = conn->One(u"SELECT localtimestamp AS SystemDateTime");
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
  auto unpooled = [&] { return BackendPid(*Open(conn, false)); };
  long once = unpooled();
  EXPECT_NE(unpooled(), once);
  EXPECT_NE(once, first);
}

TEST_F(OdbcPostgres, OleDbServicesWithoutPoolingConnectsEachTime) {
  const Text conn = WithDriver(u"PostgreSQL Unicode NoPool") + u"OLE DB Services=-2";
  // Unpooled, a Register's connection is gone when it closes; pooled, it waits in the pool.
  const size_t before = pool::IdleCount();
  Register::Open(conn)->Close();
  EXPECT_EQ(pool::IdleCount(), before);
  Register::Open(WithDriver(u"PostgreSQL Unicode NoPool"))->Close();
  EXPECT_GE(pool::IdleCount(), 1u);
  EXPECT_THROW(Register::Open(testing::PostgresConnection() + u";OLE DB Services=x"), Error);
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
  const ResultData rs = conn->Run(u"SELECT 1234.5::numeric(10,2) AS a, 42::numeric(10,0) AS b");
  Value a = rs.rows.at(0).at(0), b = rs.rows.at(0).at(1);
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

// A deadlock victim was rolled back whole: the INSERT runs once more, once. A trigger plays the
// server's deadlock detector: a sequence, which no rollback resets, says when.
TEST_F(OdbcPostgres, DeadlockVictimIsRunOnceMore) {
  const Text table = testing::UniqueTableName("victim");
  auto conn = Open();
  conn->Run(u"CREATE TABLE " + table + u" (id serial PRIMARY KEY, name text)");
  conn->Run(u"CREATE SEQUENCE " + table + u"_seq");
  conn->Run(u"CREATE FUNCTION " + table +
            u"_f() RETURNS trigger LANGUAGE plpgsql AS "
            u"'BEGIN IF nextval(''" +
            table +
            u"_seq'') IN (1, 2, 3) THEN RAISE EXCEPTION "
            u"''deadlock detected'' USING ERRCODE = ''40P01''; END IF; RETURN NEW; END'");
  conn->Run(u"CREATE TRIGGER " + table + u"_t BEFORE INSERT ON " + table +
            u" FOR EACH ROW EXECUTE FUNCTION " + table + u"_f()");
  auto insert = [&](const Text& name) {
    conn->Run(u"INSERT INTO " + table + u" (name) VALUES (?)", {Value(name)});
  };
  // 1 and 2: retried once, no more
  EXPECT_EQ(ErrorOf([&] { insert(u"twice a victim"); }).sqlstate(), "40P01");
  // A text longer than nvarchar(4000) travels as one of unbounded size, and compares with '='.
  const Text long_name = u"victim once " + Text(5000, u'é');
  insert(long_name);  // 3 fails, 4 goes through
  EXPECT_EQ(conn->One(u"SELECT count(*) AS n FROM " + table), Value(int64_t{1}));
  EXPECT_EQ(conn->One(u"SELECT count(*) AS n FROM " + table + u" WHERE name = ?", {long_name}),
            Value(int64_t{1}));
  conn->Run(u"DROP TABLE " + table);
  conn->Run(u"DROP FUNCTION " + table + u"_f()");
  conn->Run(u"DROP SEQUENCE " + table + u"_seq");
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
  } catch (const Error& e) {
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
  auto reg = Register::Open(ado);
  EXPECT_EQ(reg->product(), "PostgreSQL");
  reg->RunSchemaStatement(u"SET application_name = 'hostile'");
  reg.reset();
  // A wrong one fails, and its message shows neither.
  try {
    Register::Open(ado.substr(0, ado.size() - 2) + u"!\"");
    ADD_FAILURE() << "a wrong password was accepted";
  } catch (const Error& e) {
    EXPECT_THAT(e.description(), AllOf(HasSubstr("Cannot open the database"), Not(HasSubstr("p;w")),
                                       Not(HasSubstr("q'x"))));
  }
  Superuser("DROP ROLE " + role + ";");
}

}  // namespace
}  // namespace wq::db::odbc
