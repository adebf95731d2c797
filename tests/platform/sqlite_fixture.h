// A fresh SQLite database file in a temporary folder, with the SystemSetting table, for each
// test.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "platform/db/connection.h"
#include "platform/error.h"
#include "tests/error_of.h"
#include "tests/temp_dir.h"

namespace wq::db {

class SqliteTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = testing::MakeTempDir("sqlite");
    path_ = dir_ / "presence.db";
    conn_ = Open();
    conn_->Execute(
        u"CREATE TABLE SystemSetting (ssID INTEGER PRIMARY KEY AUTOINCREMENT, ssDesc TEXT, "
        u"ssOption TEXT, ssState INTEGER, ssModeName TEXT)");
  }
  void TearDown() override {
    conn_.reset();
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }

  Text ConnectionString() const {
    return u"Provider=SQLite;Data Source=" + FromUtf8(path_.string());
  }
  std::unique_ptr<Connection> Open() const { return Connection::Open(ConnectionString()); }

  void AddSetting(const Text& desc, const Text& option, Connection* conn = nullptr) {
    (conn ? conn : conn_.get())
        ->Execute(u"INSERT INTO SystemSetting (ssDesc, ssOption, ssState) VALUES (?, ?, 0)",
                  {desc, option});
  }
  int64_t CountRows(const Text& where = u"1") {
    return conn_->Execute(u"SELECT count(*) AS n FROM SystemSetting WHERE " + where)
        ->Field(u"n")
        .integer();
  }

  std::filesystem::path dir_;
  std::filesystem::path path_;
  std::unique_ptr<Connection> conn_;
};

}  // namespace wq::db
