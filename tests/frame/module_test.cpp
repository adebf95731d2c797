// The shipped WebQuorrel.so with the real presence update, on a SQLite database file, driven by
// the C host exactly as a program on Linux would drive it.
#include <gtest/gtest.h>
#include <limits.h>
#include <sqlite3.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <future>
#include <iterator>
#include <regex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "tests/frame/host.h"
#include "tests/temp_dir.h"

namespace {

namespace fs = std::filesystem;

struct Bstr {
  explicit Bstr(const std::string& ascii) : b(host_bstr_ascii(ascii.c_str())) {}
  ~Bstr() { host_bstr_free(b); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  abi_bstr b;
};

class ModuleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = wq::testing::MakeTempDir("module");
    db_path_ = (dir_ / "presence.db").string();
    ASSERT_EQ(sqlite3_open(db_path_.c_str(), &db_), SQLITE_OK);
    Exec(
        "CREATE TABLE SystemSetting (ssID INTEGER PRIMARY KEY AUTOINCREMENT, ssDesc TEXT, "
        "ssOption TEXT, ssState INTEGER, ssModeName TEXT)");
    Exec("INSERT INTO SystemSetting (ssDesc, ssOption, ssState) VALUES ('Theme', 'Dark', 0)");

    saved_name_ =
        std::getenv("WEBQUORREL_COMPUTERNAME") ? std::getenv("WEBQUORREL_COMPUTERNAME") : "";
    setenv("WEBQUORREL_COMPUTERNAME", "pc-7", 1);
    const std::string registry = (dir_ / "registry").string();
    setenv("WEBQUORREL_REGISTRY", registry.c_str(), 1);

    char error[512];
    // WEBQUORREL_TEST_MODULE names an installed copy to test instead of the built one.
    const char* module = std::getenv("WEBQUORREL_TEST_MODULE");
    module = (module != nullptr && *module != '\0') ? module : WQ_MODULE;
    char path[PATH_MAX];
    ASSERT_TRUE(host_install(module, registry.c_str(), "webQuorrel.clsQuorrel", &clsid_, path,
                             sizeof path, &module_, error, sizeof error))
        << error;
    path_ = path;
  }

  void TearDown() override {
    host_unload(&module_);
    sqlite3_close(db_);
    unsetenv("WEBQUORREL_REGISTRY");
    if (saved_name_.empty()) {
      unsetenv("WEBQUORREL_COMPUTERNAME");
    } else {
      setenv("WEBQUORREL_COMPUTERNAME", saved_name_.c_str(), 1);
    }
    fs::remove_all(dir_);
  }

  void Exec(const char* sql) {
    char* message = nullptr;
    ASSERT_EQ(sqlite3_exec(db_, sql, nullptr, nullptr, &message), SQLITE_OK) << message;
  }

  // (ssState, ssModeName) of every row but the unrelated setting, in ssID order.
  std::vector<std::pair<int, std::string>> PresenceRows() {
    std::vector<std::pair<int, std::string>> rows;
    sqlite3_stmt* stmt = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(db_,
                                 "SELECT ssState, coalesce(ssModeName, '') FROM SystemSetting "
                                 "WHERE ssDesc <> 'Theme' ORDER BY ssID",
                                 -1, &stmt, nullptr),
              SQLITE_OK);
    while (sqlite3_step(stmt) == SQLITE_ROW) {
      rows.emplace_back(sqlite3_column_int(stmt, 0),
                        reinterpret_cast<const char*>(sqlite3_column_text(stmt, 1)));
    }
    sqlite3_finalize(stmt);
    return rows;
  }
  int UnrelatedRows() {
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db_, "SELECT count(*) FROM SystemSetting WHERE ssDesc = 'Theme'", -1, &stmt,
                       nullptr);
    sqlite3_step(stmt);
    const int n = sqlite3_column_int(stmt, 0);
    sqlite3_finalize(stmt);
    return n;
  }

  std::string Conn() const { return conn_.empty() ? "Provider=SQLite;Data Source=" + db_path_ : conn_; }

  abi_quorrel* Create() {
    abi_quorrel* object = host_create_quorrel(&module_, &clsid_);
    EXPECT_NE(object, nullptr);
    return object;
  }

  // UpdateOnlineState through the function table on a new instance; the optional parameters
  // omitted when self_state is negative.
  int32_t Update(int16_t self_state, const std::string& mod_name = "", bool login = false) {
    abi_quorrel* q = Create();
    if (q == nullptr) return -1;
    Bstr conn(Conn());
    Bstr name(mod_name);
    abi_bstr name_ptr = name.b;
    int16_t flag = login ? -1 : 0;
    int32_t result = -1;
    const abi_hresult hr =
        self_state < 0
            ? q->vtbl->UpdateOnlineState(q, conn.b, nullptr, nullptr, nullptr, &result)
            : q->vtbl->UpdateOnlineState(q, conn.b, &self_state, &name_ptr, &flag, &result);
    EXPECT_EQ(hr, ABI_S_OK);
    q->vtbl->Release(q);
    return result;
  }

  fs::path dir_;
  std::string path_;  // the loaded module
  std::string conn_;  // another database than the SQLite file, when set
  std::string db_path_;
  sqlite3* db_ = nullptr;
  std::string saved_name_;
  abi_guid clsid_{};
  host_module module_{};
};

TEST_F(ModuleTest, RegistersAndWithdrawsThroughTheFunctionTable) {
  EXPECT_EQ(Update(2, "Sales", true), 1);
  EXPECT_EQ(PresenceRows(), (std::vector<std::pair<int, std::string>>{{1, "Sales"}}));
  EXPECT_EQ(Update(2, "Sales", false), 1);  // the earlier record is replaced
  EXPECT_EQ(PresenceRows(), (std::vector<std::pair<int, std::string>>{{0, "Sales"}}));
  EXPECT_EQ(Update(-1), 0);  // omitted SelfState: withdraw only
  EXPECT_TRUE(PresenceRows().empty());
  EXPECT_EQ(UnrelatedRows(), 1);
  EXPECT_EQ(module_.DllCanUnloadNow(), ABI_S_OK);
}

TEST_F(ModuleTest, ByNameOnlyTheConnectionStringRegistersNothing) {
  ASSERT_EQ(Update(2, "Sales", true), 1);
  abi_quorrel* q = Create();
  ASSERT_NE(q, nullptr);
  Bstr conn(Conn());
  abi_variant arg;
  std::memset(&arg, 0, sizeof arg);
  arg.vt = ABI_VT_BSTR;
  arg.u.bstrVal = conn.b;
  abi_dispparams params{&arg, nullptr, 1, 0};
  abi_variant result;
  std::memset(&result, 0, sizeof result);
  ASSERT_EQ(q->vtbl->Invoke(q, 1, &host_iid_null, 0, ABI_DISPATCH_METHOD, &params, &result, nullptr,
                            nullptr),
            ABI_S_OK);
  EXPECT_EQ(result.vt, ABI_VT_I4);
  EXPECT_EQ(result.u.lVal, 0);
  EXPECT_TRUE(PresenceRows().empty());

  // By name again, SelfState as a script variable: registers, and the variable is unchanged.
  abi_variant state;
  std::memset(&state, 0, sizeof state);
  state.vt = ABI_VT_I2;
  state.u.iVal = 2;
  abi_variant args[2];
  std::memset(args, 0, sizeof args);
  args[0].vt = ABI_VT_VARIANT | ABI_VT_BYREF;
  args[0].u.pvarVal = &state;
  args[1] = arg;
  int32_t named[2] = {1, 0};  // SelfState, gstrConnSystem
  abi_dispparams by_name{args, named, 2, 2};
  ASSERT_EQ(q->vtbl->Invoke(q, 1, &host_iid_null, 0, ABI_DISPATCH_METHOD, &by_name, &result,
                            nullptr, nullptr),
            ABI_S_OK);
  EXPECT_EQ(result.u.lVal, 1);
  EXPECT_EQ(state.vt, ABI_VT_I2);
  EXPECT_EQ(state.u.iVal, 2);
  q->vtbl->Release(q);
}

TEST_F(ModuleTest, FailuresAreTheResultZeroWithSuccess) {
  for (const std::string conn : {"Provider=SQLite;Data Source=/no/such/folder/x.db",
                                 "this is not a connection string", ""}) {
    abi_quorrel* q = Create();
    ASSERT_NE(q, nullptr);
    Bstr b(conn);
    int16_t state = 2;
    int32_t result = -1;
    EXPECT_EQ(q->vtbl->UpdateOnlineState(q, b.b, &state, nullptr, nullptr, &result), ABI_S_OK);
    EXPECT_EQ(result, 0) << conn;
    q->vtbl->Release(q);
  }
}

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A failed call leaves one line in the trace file (and a successful one none); the host still
// sees 0 with success. An unwritable trace changes nothing.
TEST_F(ModuleTest, FailuresLeaveOneTraceLineWithoutThePassword) {
  const fs::path trace = dir_ / "trace.log";
  setenv("WEBQUORREL_TRACE", trace.c_str(), 1);
  EXPECT_EQ(Update(2, "Sales"), 1);
  EXPECT_FALSE(fs::exists(trace));

  auto call = [&](const std::string& conn) {
    abi_quorrel* q = Create();
    Bstr b(conn);
    int32_t result = -1;
    EXPECT_EQ(q->vtbl->UpdateOnlineState(q, b.b, nullptr, nullptr, nullptr, &result), ABI_S_OK);
    q->vtbl->Release(q);
    return result;
  };
  const std::string secret = "Pa55;word";
  EXPECT_EQ(call("Provider=SQLite;Data Source=" + (dir_ / "none" / "x.db").string() +
                 ";Password=\"" + secret + "\""),
            0);
  sqlite3* other = nullptr;  // a database without SystemSetting
  ASSERT_EQ(sqlite3_open((dir_ / "empty.db").c_str(), &other), SQLITE_OK);
  sqlite3_close(other);
  EXPECT_EQ(call("Provider=SQLite;Data Source=" + (dir_ / "empty.db").string()), 0);

  const std::string text = ReadAll(trace);
  const std::regex line(
      R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ pid \d+ PC-7 UpdateOnlineState failed in step '([a-z ]+)': )"
      R"(error (-?\d+): ([^\n]*)\n)");
  std::vector<std::string> steps;
  for (auto it = std::sregex_iterator(text.begin(), text.end(), line); it != std::sregex_iterator();
       ++it) {
    steps.push_back((*it)[1]);
    EXPECT_NE((*it)[3].str().find("native code"), std::string::npos) << (*it)[0];
  }
  EXPECT_EQ(steps, (std::vector<std::string>{"open", "marker query"})) << text;
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2) << text;
  EXPECT_EQ(text.find("Pa55"), std::string::npos) << text;
  EXPECT_NE(text.find("SystemSetting"), std::string::npos) << text;

  // A full file moves to trace.log.1 before the next line.
  fs::resize_file(trace, 1024 * 1024);
  EXPECT_EQ(call("Provider=SQLite;Data Source=" + (dir_ / "empty.db").string()), 0);
  EXPECT_EQ(fs::file_size(dir_ / "trace.log.1"), 1024u * 1024u);
  EXPECT_EQ(std::count_if(fs::directory_iterator(dir_), fs::directory_iterator(),
                          [](const fs::directory_entry& e) {
                            return e.path().filename().string().starts_with("trace.log");
                          }),
            2);

  EXPECT_EQ(fs::status(trace).permissions(), fs::perms::owner_read | fs::perms::owner_write);

  // A trace that cannot be written: a folder in its place.
  setenv("WEBQUORREL_TRACE", dir_.c_str(), 1);
  EXPECT_EQ(call("Provider=SQLite;Data Source=" + (dir_ / "empty.db").string()), 0);
  EXPECT_EQ(Update(2, "Sales"), 1);

  // The attacks of someone who can write to the trace's folder: a link in the file's place
  // (to a file of the victim's), a second name of such a file, a file of their own. Nothing is
  // written through any of them.
  const fs::path victim = dir_ / "victim";
  std::ofstream(victim) << "keep\n";
  fs::create_symlink(victim, dir_ / "linked.log");
  fs::create_hard_link(victim, dir_ / "hard.log");
  std::vector<fs::path> attacks = {dir_ / "linked.log", dir_ / "hard.log"};
  if (geteuid() == 0) {  // only root can give a file to another user
    const fs::path foreign = dir_ / "foreign.log";
    std::ofstream(foreign) << "theirs\n";
    ASSERT_EQ(chown(foreign.c_str(), 65534, 65534), 0);
    attacks.push_back(foreign);
  }
  for (const fs::path& attack : attacks) {
    setenv("WEBQUORREL_TRACE", attack.c_str(), 1);
    EXPECT_EQ(call("Provider=SQLite;Data Source=" + (dir_ / "empty.db").string()), 0);
    EXPECT_EQ(fs::file_size(attack), attack.filename() == "foreign.log" ? 7u : 5u) << attack;
  }
  EXPECT_EQ(ReadAll(victim), "keep\n");
  EXPECT_TRUE(fs::is_symlink(dir_ / "linked.log"));
  unsetenv("WEBQUORREL_TRACE");
}

// Each thread reads the workstation name once, at its first use, and keeps it.
TEST_F(ModuleTest, EachThreadKeepsTheNameItReadFirst) {
  std::promise<void> first_done, renamed;
  int32_t a1 = -1, a2 = -1, b1 = -1, c1 = -1;
  setenv("WEBQUORREL_COMPUTERNAME", "PC-A", 1);
  std::thread a([&] {
    a1 = Update(2);  // registers PC-A
    first_done.set_value();
    renamed.get_future().wait();
    a2 = Update(2);  // still PC-A on this thread: replaces its own record
  });
  first_done.get_future().wait();
  setenv("WEBQUORREL_COMPUTERNAME", "PC-B", 1);
  renamed.set_value();
  a.join();
  std::thread b([&] { b1 = Update(2); });  // a new thread reads PC-B
  b.join();
  std::thread c([&] { c1 = Update(0); });  // PC-B again: withdraws PC-B's record only
  c.join();
  EXPECT_EQ(a1, 1);
  EXPECT_EQ(a2, 1);
  EXPECT_EQ(b1, 2);
  EXPECT_EQ(c1, 1);
}

// DllCanUnloadNow answering success releases every thread's module state: a thread then reads
// its workstation name afresh.
TEST_F(ModuleTest, UnloadableModuleForgetsEveryThreadsState) {
  setenv("WEBQUORREL_COMPUTERNAME", "PC-A", 1);
  int32_t before = -1, after = -1;
  std::promise<void> registered, unloadable;
  std::thread a([&] {
    before = Update(2);  // PC-A
    registered.set_value();
    unloadable.get_future().wait();
    after = Update(2);  // the state was released: reads PC-B and registers it beside PC-A
  });
  registered.get_future().wait();
  setenv("WEBQUORREL_COMPUTERNAME", "PC-B", 1);
  EXPECT_EQ(module_.DllCanUnloadNow(), ABI_S_OK);
  unloadable.set_value();
  a.join();
  EXPECT_EQ(before, 1);
  EXPECT_EQ(after, 2);
}

// Runs SQL through the test cluster's superuser (WEBQUORREL_TEST_PG_CTL psql); the output.
std::string PgSql(const std::string& database, const std::string& sql) {
  const std::string command = std::string(std::getenv("WEBQUORREL_TEST_PG_CTL")) +
                              " psql -At -d " + database + " -c \"" + sql + "\"";
  std::string out;
  if (FILE* p = popen(command.c_str(), "r")) {
    char buffer[256];
    while (fgets(buffer, sizeof buffer, p) != nullptr) out += buffer;
    pclose(p);
  }
  while (!out.empty() && out.back() == '\n') out.pop_back();
  return out;
}

// Ten cycles of load, update and unload leave no server session behind: DllCanUnloadNow closes
// the pool's connections and frees the ODBC environment.
TEST_F(ModuleTest, UnloadCyclesLeaveNoServerSession) {
  const char* pg = std::getenv("WEBQUORREL_TEST_PG_CONN");
  if (pg == nullptr || std::getenv("WEBQUORREL_TEST_PG_CTL") == nullptr) {
    GTEST_SKIP() << "WEBQUORREL_TEST_PG_CONN and _CTL are not set";
  }
  const std::string database = "wq_unload_" + std::to_string(getpid());
  const std::string app = database;
  PgSql("postgres", "DROP DATABASE IF EXISTS " + database);
  PgSql("postgres", "CREATE DATABASE " + database + " OWNER webquorrel");
  PgSql(database,
        "SET ROLE webquorrel; CREATE TABLE SystemSetting (ssID integer GENERATED BY DEFAULT AS "
        "IDENTITY PRIMARY KEY, ssDesc varchar(255), ssOption text, ssModeName varchar(255), "
        "ssState integer); CREATE FUNCTION getdate() RETURNS timestamp LANGUAGE sql STABLE AS "
        "'SELECT localtimestamp'");
  conn_ = std::regex_replace(std::string(pg), std::regex("Database=[^;]*"), "Database=" + database) +
          ";pqopt={application_name=" + app + "}";
  const std::string sessions =
      "SELECT count(*) FROM pg_stat_activity WHERE application_name = '" + app + "'";
  for (int cycle = 0; cycle < 10; ++cycle) {
    if (cycle > 0) {
      char error[512];
      ASSERT_TRUE(host_load(path_.c_str(), &module_, error, sizeof error)) << error;
    }
    EXPECT_EQ(Update(2, "Sales"), 1) << "cycle " << cycle;
    EXPECT_EQ(PgSql(database, sessions), "1") << "cycle " << cycle;
    EXPECT_EQ(module_.DllCanUnloadNow(), ABI_S_OK);
    host_unload(&module_);
    // The server ends a session a moment after its client hangs up.
    std::string left = PgSql(database, sessions);
    for (int wait = 0; left != "0" && wait < 200; ++wait) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      left = PgSql(database, sessions);
    }
    EXPECT_EQ(left, "0") << "cycle " << cycle;
  }
  conn_.clear();
  PgSql("postgres", "DROP DATABASE IF EXISTS " + database);
}

}  // namespace
