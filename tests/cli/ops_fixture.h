// A SQLite register in a fresh folder for the operators' commands, with direct access to its
// rows for seeding and checking.
#pragma once

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "presence/record.h"
#include "tests/cli/child_process.h"

namespace wq::testing {

using Row = std::vector<std::optional<std::string>>;

class OpsCommands : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = MakeTempDir("ops");
    std::filesystem::create_directory(dir_ / "db");
    ASSERT_EQ(Run({"init", "--conn", Conn()}).status, 0);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::filesystem::path DbFile() const { return dir_ / "db" / "p.db"; }
  std::string Conn() const { return "Provider=SQLite;Data Source=" + DbFile().string(); }

  // The environment of a command run as workstation ws, with no default database outside the
  // test's folder.
  std::vector<std::string> Env(const std::string& ws) const {
    return {"WEBQUORREL_COMPUTERNAME=" + ws, "XDG_DATA_HOME=" + (dir_ / "data").string(),
            "WEBQUORREL_CONN=" + Conn()};
  }
  // The line with which list and doctor name the register.
  std::string Register() const {
    return "register: " + Conn() + " (WEBQUORREL_CONN from the environment)\n";
  }
  CommandResult Run(const std::vector<std::string>& args, const std::string& ws = "PC-OPS") const {
    return RunCommand(args, Env(ws));
  }

  // Runs SQL on the register directly; rows as text or null.
  std::vector<Row> Sql(const std::string& sql, const std::vector<std::string>& params = {}) const {
    sqlite3* db = nullptr;
    EXPECT_EQ(sqlite3_open(DbFile().c_str(), &db), SQLITE_OK);
    sqlite3_busy_timeout(db, 10000);
    sqlite3_stmt* st = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr), SQLITE_OK) << sql;
    for (size_t i = 0; i < params.size(); ++i) {
      sqlite3_bind_text(st, static_cast<int>(i + 1), params[i].c_str(), -1, SQLITE_TRANSIENT);
    }
    std::vector<Row> rows;
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
      Row row;
      for (int c = 0; c < sqlite3_column_count(st); ++c) {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(st, c));
        row.push_back(text ? std::optional<std::string>(text) : std::nullopt);
      }
      rows.push_back(std::move(row));
    }
    EXPECT_EQ(rc, SQLITE_DONE) << sqlite3_errmsg(db);
    sqlite3_finalize(st);
    sqlite3_close(db);
    return rows;
  }

  // Adds a presence record with the payload sealed; returns its ssID.
  std::string AddRecord(const std::string& payload, const std::string& module, int login = 0) {
    return AddRaw(ToUtf8(presence::SealPayload(FromUtf8(payload))), module, login);
  }
  std::string AddRaw(const std::string& option, const std::string& module, int login = 0) {
    Sql("INSERT INTO SystemSetting (ssDesc, ssOption, ssModeName, ssState) VALUES (?, ?, ?, " +
            std::to_string(login) + ")",
        {ToUtf8(presence::PresenceMarker()), option, module});
    return *Sql("SELECT max(ssID) FROM SystemSetting")[0][0];
  }
  std::vector<Row> Table() const { return Sql("SELECT * FROM SystemSetting ORDER BY ssID"); }
  // "workstation|module|login" of each presence record, in ssID order.
  std::vector<std::string> Presence() const {
    std::vector<std::string> out;
    for (const Row& r : Sql("SELECT ssOption, ssModeName, ssState FROM SystemSetting WHERE ssDesc "
                            "= ? ORDER BY ssID",
                            {ToUtf8(presence::PresenceMarker())})) {
      std::string payload;
      try {
        payload = ToUtf8(presence::UnsealPayload(FromUtf8(r[0].value_or(""))));
      } catch (const std::exception&) {
        payload = "(unreadable)";
      }
      out.push_back(payload.substr(0, payload.find(',')) + "|" + r[1].value_or("NULL") + "|" +
                    r[2].value_or("NULL"));
    }
    return out;
  }

  std::filesystem::path dir_;
};

}  // namespace wq::testing
