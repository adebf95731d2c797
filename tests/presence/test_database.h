// A database the presence tests run against, one implementation per engine. The suite in
// update_suite.cpp is instantiated once per engine with a factory for a fresh, empty database.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace wq::testing {

// A column value as the tests write and read it: NULL, a whole number or UTF-8 text.
using Cell = std::optional<std::string>;

// How SystemSetting is laid out for a test.
enum class Layout {
  kStandard,      // ssID assigned by the database, ssDesc, ssOption, ssModeName, ssState
  kExtraColumns,  // as standard plus columns the component knows nothing of:
                  // ssNote (text) and ssWeight (integer, NOT NULL, default 7)
  kLooseIds,      // ssID a plain text column the test fills itself (no key, no default)
};

struct RawRow {
  Cell id;  // leave empty to let the database assign it (not with kLooseIds)
  Cell desc;
  Cell option;
  Cell modeName;
  std::optional<int64_t> state;
};

class TestDatabase {
 public:
  virtual ~TestDatabase() = default;

  // The connection string the component opens (UTF-8).
  virtual std::string ConnectionString() const = 0;
  // Creates SystemSetting in the given layout.
  virtual void CreateSchema(Layout layout = Layout::kStandard) = 0;
  // Runs one statement of the engine's SQL directly, not through the component.
  virtual void Exec(const std::string& sql) = 0;
  // Inserts a row directly and returns its ssID as text.
  virtual std::string Insert(const RawRow& row) = 0;
  // Runs a query directly; every value as text (numbers in decimal) or NULL.
  virtual std::vector<std::vector<Cell>> Query(const std::string& sql) = 0;
  // Makes GETDATE() on this database give value (text, or NULL) instead of the time, until
  // the database is dropped. False where the engine cannot do that; the tests that need it
  // are then skipped.
  virtual bool SetServerClock(const Cell& value) {
    (void)value;
    return false;
  }
};

struct TestEngine {
  std::string name;  // a test-name-safe word: "Sqlite", "Postgres"
  // A fresh database; nullptr where the engine's server is not available (its tests skip).
  std::function<std::unique_ptr<TestDatabase>()> make;
};

// The SQLite engine: a fresh database file in a temporary folder.
TestEngine SqliteEngine();
// PostgreSQL through ODBC: a fresh database on the server of WEBQUORREL_TEST_PG_CONN.
TestEngine PostgresEngine();

}  // namespace wq::testing
