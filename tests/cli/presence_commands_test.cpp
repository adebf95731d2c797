// The update, list and init subcommands, run as the built command against SQLite files.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "tests/cli/child_process.h"

namespace wq {
namespace {

using testing::CommandResult;
using testing::RunCommand;

class PresenceCommands : public ::testing::Test {
 protected:
  void SetUp() override { dir_ = testing::MakeTempDir("cli"); }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::string Conn(const std::string& file = "p.db") const {
    return "Provider=SQLite;Data Source=" + (dir_ / file).string();
  }
  // Runs the command as workstation ws, with no default database outside the test's folder.
  CommandResult Run(const std::vector<std::string>& args, const std::string& ws = "PC-7",
                    const std::vector<std::string>& extraEnv = {}) const {
    std::vector<std::string> env = {"WEBQUORREL_COMPUTERNAME=" + ws,
                                    "XDG_DATA_HOME=" + (dir_ / "data").string(),
                                    "WEBQUORREL_CONN="};
    env.insert(env.end(), extraEnv.begin(), extraEnv.end());  // later entries win
    return RunCommand(args, env);
  }
  // Runs one SQL statement on a file directly.
  void Sql(const std::string& file, const std::string& sql) const {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((dir_ / file).c_str(), &db), SQLITE_OK);
    char* err = nullptr;
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &err), SQLITE_OK) << err;
    sqlite3_free(err);
    sqlite3_close(db);
  }

  std::filesystem::path dir_;
};

TEST_F(PresenceCommands, UpdateUsesTheEmbeddedDatabaseByDefault) {
  CommandResult r = Run({"update", "--state", "2", "--module", "Demo"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "1\n");
  // Created readable by its owner only, in a folder of its owner only.
  namespace fs = std::filesystem;
  EXPECT_EQ(fs::status(dir_ / "data" / "webquorrel" / "presence.db").permissions(),
            fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(fs::status(dir_ / "data" / "webquorrel").permissions(), fs::perms::owner_all);

  r = Run({"update", "--state", "2", "--module", "Demo", "--login"}, "PC-3");
  EXPECT_EQ(r.out, "2\n");
  r = Run({"list", "--json"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find(R"("workstation": "PC-7", )"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find(R"("module": "Demo", "login": true, "kind": "live")"), std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find(R"("login": false, "kind": "own")"), std::string::npos) << r.out;

  // WEBQUORREL_CONN names another database, which is used as it is.
  r = Run({"update"}, "PC-7", {"WEBQUORREL_CONN=" + Conn("other.db")});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "0\n");
}

// Looking opens the register read-only: a missing database is an error naming its file, and
// nothing is created; a read-only file can be listed.
TEST_F(PresenceCommands, LookingCreatesNothing) {
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"list"}, {"count"}, {"doctor"}, {"list", "--conn", Conn("none/p.db")}}) {
    const CommandResult r = Run(args);
    EXPECT_NE(r.status, 0) << args[0];
    const std::string file = args.size() > 1 ? "none/p.db" : "data/webquorrel/presence.db";
    EXPECT_NE(r.err.find((dir_ / file).string()), std::string::npos) << r.err;
  }
  EXPECT_FALSE(std::filesystem::exists(dir_ / "data"));
  EXPECT_FALSE(std::filesystem::exists(dir_ / "none"));

  ASSERT_EQ(Run({"update", "--conn", Conn("ro.db"), "--state", "2"}).status, 1);  // no table
  ASSERT_EQ(Run({"init", "--conn", Conn("ro.db")}).status, 0);
  ASSERT_EQ(Run({"update", "--conn", Conn("ro.db"), "--state", "2"}).status, 0);
  std::filesystem::permissions(dir_ / "ro.db", std::filesystem::perms::owner_read);
  const CommandResult r = Run({"list", "--conn", Conn("ro.db")});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("PC-7"), std::string::npos) << r.out;
  EXPECT_EQ(Run({"count", "--conn", Conn("ro.db")}).out, "1\n");
}

TEST_F(PresenceCommands, ExplicitConnectionIsNeverInitialised) {
  CommandResult r = Run({"update", "--conn", Conn(), "--state", "2"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "0\n");
  EXPECT_EQ(r.err.find("error "), std::string::npos) << "numbers only with --verbose: " << r.err;
  EXPECT_NE(r.err.find("SystemSetting"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("run `webquorrel init`"), std::string::npos) << r.err;
  EXPECT_NE(Run({"--verbose", "update", "--conn", Conn()}).err.find("[error "), std::string::npos);

  r = Run({"update", "--conn", "Provider=Nothing;Password=secret"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "0\n");
  EXPECT_EQ(r.err.find("secret"), std::string::npos) << r.err;

  EXPECT_EQ(Run({"init", "--conn", Conn()}).status, 0);
  r = Run({"update", "--conn", Conn(), "--state", "2"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "1\n");
}

// --conn-file reads the string from a file or standard input; a file that holds anything but
// one connection string is refused before any database is touched.
TEST_F(PresenceCommands, ConnectionFromAFileOrStandardInput) {
  const auto write = [&](const std::string& name, const std::string& text) {
    std::ofstream(dir_ / name, std::ios::binary) << text;
    return (dir_ / name).string();
  };
  EXPECT_EQ(Run({"init", "--conn-file", write("conn", Conn() + "\r\n")}).status, 0);
  CommandResult r = Run({"update", "--conn-file", write("conn", Conn()), "--state", "2"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "1\n");
  const std::string piped = "printf '%s\\n' '" + Conn() + "' | WEBQUORREL_CONN= " + WEBQUORREL_EXE +
                            " count --conn-file - >" + (dir_ / "out").string();
  EXPECT_EQ(std::system(piped.c_str()), 0);
  std::ifstream out(dir_ / "out");
  std::string count;
  std::getline(out, count);
  EXPECT_EQ(count, "1");

  const std::vector<std::pair<std::string, std::string>> bad = {
      {write("empty", "\n"), "holds no connection string"},
      {write("two", Conn() + "\n" + Conn()), "more than one line"},
      {write("nul", Conn() + std::string(1, '\0') + "x"), "NUL"},
      {write("long", std::string(64 * 1024 + 1, 'a')), "longer than 64 KiB"},
      {(dir_ / "missing").string(), "cannot be read"},
      {dir_.string(), "cannot be read"}};
  for (const auto& [path, why] : bad) {
    r = Run({"count", "--conn-file", path});
    EXPECT_EQ(r.status, 2) << path;
    EXPECT_NE(r.err.find(why), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
  }
  r = Run({"count", "--conn", Conn(), "--conn-file", write("conn", Conn())});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("excludes"), std::string::npos) << r.err;
  EXPECT_FALSE(std::filesystem::exists(dir_ / "data"));
}

TEST_F(PresenceCommands, InitLeavesAnExistingTableAlone) {
  Sql("p.db",
      "CREATE TABLE SystemSetting (ssID INTEGER PRIMARY KEY, ssDesc TEXT, ssOption TEXT, "
      "ssModeName TEXT, ssState INTEGER, ssExtra TEXT); "
      "INSERT INTO SystemSetting (ssDesc, ssOption, ssExtra) VALUES ('Theme', 'dark', 'x')");
  for (int i = 0; i < 2; ++i) {
    CommandResult r = Run({"init", "--conn", Conn()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "SystemSetting exists already: left as it is\n");
  }
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open((dir_ / "p.db").c_str(), &db), SQLITE_OK);
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(db,
                     "SELECT ssExtra, (SELECT count(*) FROM SystemSetting), (SELECT count(*) "
                     "FROM sqlite_master WHERE type = 'index') FROM SystemSetting",
                     -1, &st, nullptr);
  ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
  EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)), "x");
  EXPECT_EQ(sqlite3_column_int(st, 1), 1);
  EXPECT_EQ(sqlite3_column_int(st, 2), 0);  // no index added to the host's table
  sqlite3_finalize(st);
  sqlite3_close(db);
}

TEST_F(PresenceCommands, ListShowsEveryKind) {
  ASSERT_EQ(Run({"init", "--conn", Conn()}).status, 0);
  Run({"update", "--conn", Conn(), "--state", "2", "--module", "Sales"}, "PC-3");
  Run({"update", "--conn", Conn(), "--state", "2", "--module", "Sales"});
  const std::string marker = "7dcf6b01b0e2335121eafa2ea0211819";
  Sql("p.db", "INSERT INTO SystemSetting (ssDesc, ssOption, ssModeName, ssState) VALUES ('" +
                  marker + "', 'not hex', NULL, 1), ('" + marker + "', '" +
                  "478434DC0A', 'Sales', 0)");  // "PC-7," with no time: damaged for PC-3

  CommandResult r = Run({"list", "--conn", Conn(), "--json"}, "PC-3");
  EXPECT_EQ(r.status, 0) << r.err;
  for (const char* object :
       {R"({"id": 1, "workstation": "PC-3", "time": ")",
        R"(, "module": "Sales", "login": false, "kind": "own"})",
        R"({"id": 2, "workstation": "PC-7", "time": ")",
        R"(, "module": "Sales", "login": false, "kind": "live"})",
        R"({"id": 3, "workstation": null, "time": null, "timeIso": null, "ageSeconds": null, )"
        R"("module": null, "login": null, "kind": "unreadable"})",
        R"({"id": 4, "workstation": "PC-7", "time": "", "timeIso": null, "ageSeconds": null, )"
        R"("module": "Sales", "login": false, "kind": "damaged"})"}) {
    EXPECT_NE(r.out.find(object), std::string::npos) << object << "\n" << r.out;
  }

  // The table: the register, a header and one line per record, every column starting at the
  // same place.
  r = Run({"list", "--conn", Conn()}, "PC-3");
  EXPECT_EQ(r.status, 0) << r.err;
  std::vector<std::string> lines;
  for (size_t at = 0, nl; (nl = r.out.find('\n', at)) != std::string::npos; at = nl + 1) {
    lines.push_back(r.out.substr(at, nl - at));
  }
  ASSERT_EQ(lines.size(), 6u) << r.out;
  EXPECT_EQ(lines[0],
            "register: Provider=SQLite;Data Source=" + (dir_ / "p.db").string() + " (--conn)");
  lines.erase(lines.begin());
  const size_t ageColumn = lines[0].find("AGE");
  const size_t loginColumn = lines[0].find("LOGIN");
  const size_t kindColumn = lines[0].find("KIND");
  const size_t moduleColumn = lines[0].find("MODULE");
  const std::vector<std::string> kinds = {"own", "live", "unreadable", "damaged"};
  for (size_t i = 1; i < lines.size(); ++i) {
    EXPECT_EQ(lines[i].substr(kindColumn), kinds[i - 1]) << r.out;
    EXPECT_EQ(lines[i].substr(moduleColumn, 6), i == 3 ? "(none)" : "Sales ") << r.out;
    EXPECT_EQ(lines[i].substr(loginColumn, 7), i == 3 ? "unknown" : "no     ") << r.out;
    EXPECT_EQ(lines[i][ageColumn] == '-', i > 2) << r.out;  // a few seconds, or unknown
  }
}

// register and withdraw say what happened; withdraw from a module without a record says so and
// still succeeds. A name longer than 15 characters is cut with a warning.
TEST_F(PresenceCommands, RegisterAndWithdrawSayWhatHappened) {
  const std::string ws = "LONGNAME-WORKSTATION-0001";
  struct Step {
    std::vector<std::string> args;
    int status;
    std::string out;
  };
  const Step steps[] = {
      {{"register", "--module", "Sales", "--login"},
       0,
       "registered \"LONGNAME-WORKST\" in module \"Sales\" (1 presence records)\n"},
      {{"withdraw", "--module", "Stock"},
       0,
       "\"LONGNAME-WORKST\" had no record in module \"Stock\"; nothing withdrawn (1 presence "
       "records)\n"},
      {{"withdraw", "--module", "Sales"},
       0,
       "withdrew \"LONGNAME-WORKST\" from module \"Sales\" (0 presence records left)\n"},
      {{"withdraw"},
       0,
       "\"LONGNAME-WORKST\" had no record in any module; nothing withdrawn (0 presence "
       "records)\n"},
      {{"withdraw", "--module", ""}, 2, ""},
      {{"register"}, 2, ""},
      {{"register", "--module", "M", "--conn", "Provider=Nothing"}, 2, ""},
      {{"register", "--module", "M", "--conn", Conn("none.db")}, 1, ""},
  };
  for (const Step& step : steps) {
    const CommandResult r = Run(step.args, ws);
    EXPECT_EQ(r.status, step.status) << step.args[0] << ": " << r.err;
    EXPECT_EQ(r.out, step.out) << r.err;
    if (step.status == 0) {
      EXPECT_NE(r.err.find("warning: the workstation name \"" + ws + "\" is longer than 15"),
                std::string::npos)
          << r.err;
    }
  }
  EXPECT_EQ(Run({"register", "--module", "M"}, "SHORT").err, "");
}

// The settings file: read by default or from --config, below the environment and the options;
// every command can say which register it opened.
TEST_F(PresenceCommands, SettingsFileChoosesTheRegisterBelowEnvironmentAndOptions) {
  ASSERT_EQ(Run({"init", "--conn", Conn("site.db")}).status, 0);
  const std::filesystem::path file = dir_ / "site.env";
  {
    std::ofstream out(file);
    out << "# the site\n  WEBQUORREL_CONN='" << Conn("site.db")
        << "'\nWEBQUORREL_CODEPAGE=CP1252\n";
  }
  const std::vector<std::string> unset = {"WEBQUORREL_CONN"};  // removed from the environment
  CommandResult r = Run({"--config", file.string(), "register", "--module", "A"}, "PC-1", unset);
  EXPECT_EQ(r.status, 0) << r.err;
  r = Run({"list", "--config", file.string()}, "PC-1", unset);
  EXPECT_EQ(r.out.substr(0, r.out.find('\n')),
            "register: " + Conn("site.db") + " (WEBQUORREL_CONN from " + file.string() + ")");
  EXPECT_NE(r.out.find("PC-1"), std::string::npos) << r.out;

  // The environment wins over the file, --conn over both; --verbose names the register.
  ASSERT_EQ(Run({"init"}).status, 0);  // looking creates nothing: the embedded database first
  r = Run({"-v", "--config", file.string(), "count"});
  EXPECT_EQ(r.out, "0\n") << "the embedded database, made just now: " << r.err;
  EXPECT_NE(r.err.find("webquorrel count: register: embedded database"), std::string::npos)
      << r.err;
  r = Run({"count", "--verbose", "--config", file.string(), "--conn", Conn("site.db")});
  EXPECT_EQ(r.out, "1\n");
  EXPECT_NE(r.err.find("(--conn)"), std::string::npos) << r.err;

  // A file that is refused names its line and is never half applied; a missing one named by
  // --config is an error, a folder cannot be read.
  {
    std::ofstream out(file);
    out << "WEBQUORREL_CONN='" << Conn("site.db") << "'\nUID=x;y\n";
  }
  r = Run({"--config", file.string(), "count"}, "PC-1", unset);
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find(file.string() + ", line 2: "), std::string::npos) << r.err;
  EXPECT_EQ(Run({"--config", (dir_ / "nothing.env").string(), "count"}).status, 2);
  EXPECT_EQ(Run({"--config", dir_.string(), "count"}).status, 3);
}

}  // namespace
}  // namespace wq
