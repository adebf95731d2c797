// Host connection strings through the whole SQL Server path on Linux (ADO parser, translation,
// unixODBC, the FreeTDS driver) down to the login records FreeTDS sends to a loopback listener.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/db/connection_warning.h"
#include "platform/db/register.h"
#include "platform/error.h"
#include "tests/platform/db/odbc/tds_listener.h"

namespace wq::db::odbc {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using testing::Received;
using testing::TdsListener;

// unixODBC sees FreeTDS (and the SQLite ODBC driver) alone, and FreeTDS reads no
// configuration of this machine.
class FreeTdsOnly : public ::testing::Environment {
 public:
  void SetUp() override {
    const char* tmp = std::getenv("WEBQUORREL_TEST_TMP");
    dir_ = std::string(tmp && *tmp ? tmp : "/tmp") + "/freetds-login-" + std::to_string(getpid());
    std::system(("mkdir -p " + dir_).c_str());
    std::ofstream(dir_ + "/odbcinst.ini") << "[FreeTDS]\nDriver=" WQ_TDSODBC_LIBRARY "\n"
#ifdef WQ_SQLITEODBC_LIBRARY
                                          << "[SQLite3]\nDriver=" WQ_SQLITEODBC_LIBRARY "\n"
#endif
        ;
    std::ofstream(dir_ + "/odbc.ini");
    std::ofstream(dir_ + "/freetds.conf") << "[global]\n";
    setenv("ODBCSYSINI", dir_.c_str(), 1);
    setenv("ODBCINI", (dir_ + "/odbc.ini").c_str(), 1);
    setenv("FREETDSCONF", (dir_ + "/freetds.conf").c_str(), 1);
    for (const char* name : {"ODBCINSTINI", "TDSVER", "TDSPORT", "TDSHOST", "TDSDUMP", "TDSQUERY",
                             "DSQUERY", "FREETDS"}) {
      unsetenv(name);
    }
  }
  void TearDown() override { std::system(("rm -rf " + dir_).c_str()); }
  static const std::string& dir() { return dir_; }

 private:
  static inline std::string dir_;
};
const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new FreeTdsOnly);

// Opens the host string against the listener ({A} stands for its address, {P} for its port);
// the listener hangs up after the login, so the open fails. Returns what it received. The data
// sources of odbc.ini are `odbc_ini`, with {A} and {P} replaced alike.
Received Login(const std::string& ado_template, std::string* error = nullptr,
               const std::string& odbc_ini = "") {
  TdsListener listener;
  EXPECT_TRUE(listener.ok()) << "no free loopback address for the listener";
  auto fill = [&](std::string text) {
    for (size_t at; (at = text.find("{A}")) != std::string::npos;) {
      text.replace(at, 3, listener.address());
    }
    for (size_t at; (at = text.find("{P}")) != std::string::npos;) {
      text.replace(at, 3, std::to_string(listener.port()));
    }
    return text;
  };
  const std::string ado = fill(ado_template);
  std::ofstream(std::getenv("ODBCINI")) << fill(odbc_ini);
  try {
    Register::Open(FromUtf8(ado + ";Connect Timeout=5"));
    ADD_FAILURE() << "connected to a listener that cannot log in: " << ado;
  } catch (const Error& e) {
    if (error) *error = e.description();
  }
  return listener.Stop();
}

constexpr uint32_t kTds73 = 0x730B0003;  // TDS 7.3 (revision B) in the LOGIN7 record

TEST(FreeTdsLogin, SendsWhatTheHostStringSays) {
  struct Case {
    std::string ado;
    const char16_t *user, *password, *database, *app, *workstation;
    const char16_t* language = u"us_english";  // FreeTDS's default
  };
  const Case cases[] = {
      {"Provider=SQLOLEDB.1;Data Source={A},{P};Initial Catalog=Host DB;User ID=sa;"
       "Password=\"pa;ss w=rd\";Application Name=Host App;Workstation ID=PC-7",
       u"sa", u"pa;ss w=rd", u"Host DB", u"Host App", u"PC-7"},
      {"Provider=SQLNCLI11;Server=tcp:{A},{P};Database=数据库;UID=ünïcödé 用户;"
       "PWD=p}w{x=1;APP=Ärger;WSID=Café PC",
       u"ünïcödé 用户", u"p}w{x=1", u"数据库", u"Ärger", u"Café PC"},
      {"Provider=MSOLEDBSQL;Address={A},{P};Data Source=127.0.0.1,1;User ID={ {brace};"
       "Password=' lead; trail ';Initial Catalog='a=b c';Use Encryption for Data=Optional",
       u" {brace", u" lead; trail ", u"a=b c", u"", u""},
      {"Provider=SQLOLEDB;Data Source={A}\\NAMED,{P};User ID=x;Password={};Workstation ID=ws", u"x",
       u"", u"", u"", u"ws"},
      {"Provider=SQLOLEDB;Data Source=tcp:{A}\\INST , {P};User ID=u=v;Password=x{y;"
       "Application Name=\"a;b=c\";Workstation ID='w s'",
       u"u=v", u"x{y", u"", u"a;b=c", u"w s"},
      // FreeTDS's braces run to the first "};" and keep '}' single.
      {"Provider=SQLOLEDB;Data Source={A},{P};User ID=\" u}x\";Password=\"pa;ss{w}rd\";"
       "Current Language=Deutsch;Language=Français",
       u" u}x", u"pa;ss{w}rd", u"", u"", u"", u"Deutsch"},
      {"Provider=SQLOLEDB;Data Source={A},{P};User ID=}}{;Password={;}}}}x};Language=Français",
       u"}}{", u";}}x", u"", u"", u"", u"Français"},
  };
  for (const Case& c : cases) {
    std::string error;
    const Received r = Login(c.ado, &error);
    ASSERT_TRUE(r.login) << c.ado << ": " << error;
    EXPECT_EQ(r.login->tds_version, kTds73) << c.ado;
    EXPECT_EQ(r.encryption, 0) << c.ado;            // "request": encrypt if the server insists
    EXPECT_EQ(r.instance, "MSSQLServer") << c.ado;  // the default: a port wins over an instance
    EXPECT_EQ(ToUtf8(r.login->server), r.address) << c.ado;
    EXPECT_EQ(r.browser_query, "") << c.ado;
    EXPECT_EQ(ToUtf8(r.login->user), ToUtf8(c.user)) << c.ado;
    EXPECT_EQ(ToUtf8(r.login->password), ToUtf8(c.password)) << c.ado;
    EXPECT_EQ(ToUtf8(r.login->database), ToUtf8(c.database)) << c.ado;
    if (*c.app) {
      EXPECT_EQ(ToUtf8(r.login->app), ToUtf8(c.app)) << c.ado;
    }
    if (*c.workstation) {
      EXPECT_EQ(ToUtf8(r.login->workstation), ToUtf8(c.workstation)) << c.ado;
    }
    EXPECT_EQ(ToUtf8(r.login->language), ToUtf8(c.language)) << c.ado;
    if (std::char_traits<char16_t>::length(c.password) > 2) {
      EXPECT_THAT(error, Not(HasSubstr(ToUtf8(c.password)))) << c.ado;
    }
  }
}

// A .udl file's string: MSDASQL maps its keywords onto a data source whose driver is FreeTDS.
// A value that FreeTDS would end early is refused, and nothing is sent.
TEST(FreeTdsLogin, MsdasqlDataSourceAndRefusals) {
  const std::string ini = "[SiteDSN]\nDriver=FreeTDS\nServer={A}\nPort={P}\nTDS_Version=7.3\n";
  std::string error;
  Received r = Login(
      "Provider=MSDASQL.1;Persist Security Info=False;User ID=clerk;Password=pa}ss;"
      "Data Source=SiteDSN;Initial Catalog=ledger;Extended Properties=\"UID=x;Language=Deutsch\"",
      &error, ini);
  ASSERT_TRUE(r.login) << error;
  EXPECT_EQ(ToUtf8(r.login->user), "clerk");
  EXPECT_EQ(ToUtf8(r.login->password), "pa}ss");
  EXPECT_EQ(ToUtf8(r.login->database), "ledger");
  EXPECT_EQ(ToUtf8(r.login->language), "Deutsch");
  for (std::string ado : {"Provider=SQLOLEDB;Data Source={A},{P};User ID=u;Password={s3c}};ret}",
                          "Provider=MSDASQL;Data Source=SiteDSN;Password=\"s3c;ret\""}) {
    r = Login(ado, &error, ini);
    EXPECT_FALSE(r.prelogin) << ado;
    EXPECT_THAT(error, HasSubstr("PWD")) << ado;
    EXPECT_THAT(error, Not(HasSubstr("s3c"))) << ado;
  }
}

TEST(FreeTdsLogin, NamedInstanceWithoutPortAsksTheBrowser) {
  const Received r = Login("Provider=SQLOLEDB;Data Source={A}\\SQLEXPRESS;User ID=u;Password=p");
  EXPECT_EQ(r.browser_query, "SQLEXPRESS");
  EXPECT_EQ(r.instance, "SQLEXPRESS");
  ASSERT_TRUE(r.login);
  EXPECT_EQ(ToUtf8(r.login->user), "u");
  EXPECT_EQ(ToUtf8(r.login->server).substr(0, r.address.size()), r.address);
}

TEST(FreeTdsLogin, RequiredEncryptionIsAskedForAndNeverFallsBackToClearText) {
  for (std::string ado : {"Provider=SQLOLEDB;Data Source={A},{P};Use Encryption for Data=yes",
                          "Provider=MSOLEDBSQL19;Data Source={A},{P}",
                          "Provider=MSOLEDBSQL19;Data Source={A},{P};Encrypt=Mandatory"}) {
    const Received r = Login(ado + ";User ID=u;Password=secret");
    EXPECT_TRUE(r.prelogin) << ado;
    EXPECT_EQ(r.encryption, 1) << ado;
    EXPECT_FALSE(r.login) << ado;  // the listener offers no encryption: no login in the clear
  }
  // `doctor` tells the site that FreeTDS verifies the server only with its own CA file.
  EXPECT_THAT(ConnectionWarning(u"Provider=MSOLEDBSQL19;Data Source=db"), HasSubstr("ca file"));
}

#ifdef WQ_SQLITEODBC_LIBRARY
// The SQLite ODBC driver reads no braces: a pair smuggled inside a value would make it load a
// library into the host. Such strings fail and load nothing; the host's own LoadExt does load
// the marker library, so a load would have shown.
TEST(SqliteOdbcDriver, SmuggledPairsAreRefusedAndLoadNothing) {
  namespace fs = std::filesystem;
  const std::string dir = FreeTdsOnly::dir(), marker = dir + "/loaded", db = dir + "/x.db";
  setenv("WQ_MARKER_FILE", marker.c_str(), 1);
  for (const char* name : {"/evil.so", "/evil.so}"}) {
    fs::copy_file(WQ_MARKER_LIBRARY, dir + name, fs::copy_options::overwrite_existing);
  }
  const std::string start = "Driver=SQLite3;Database=" + db + ";";
  for (std::string ado : {start + "UID=\"x;LoadExt=" + dir + "/evil.so\"",
                          start + "PWD=\"a};LoadExt=" + dir + "/evil.so;x\"",
                          start + "PWD={a}}};LoadExt=" + dir + "/evil.so;x}",
                          "Provider=MSDASQL;Extended Properties=\"" + start +
                              "\";Password=\"x;LoadExt=" + dir + "/evil.so\""}) {
    fs::remove(marker);
    try {
      Register::Open(FromUtf8(ado));
      ADD_FAILURE() << "opened: " << ado;
    } catch (const Error& e) {
      EXPECT_THAT(e.description(), Not(HasSubstr("evil"))) << ado;
    }
    EXPECT_FALSE(fs::exists(marker)) << ado;
  }
  try {
    Register::Open(FromUtf8(start + "LoadExt=" + dir + "/evil.so"));
  } catch (const Error&) {
    // Not an extension: the driver may refuse it after loading it.
  }
  EXPECT_TRUE(fs::exists(marker));
}
#endif

}  // namespace
}  // namespace wq::db::odbc
