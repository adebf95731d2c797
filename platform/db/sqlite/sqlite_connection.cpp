// The SQLite engine: Provider=SQLite;Data Source=PATH.
#include <memory>

#include "platform/db/engines.h"
#include "platform/db/sqlite/database.h"
#include "platform/db/sqlite/rows_recordset.h"
#include "platform/error.h"

namespace wq::db {
namespace {

class SqliteConnection final : public Connection {
 public:
  explicit SqliteConnection(const std::string& path)
      : db_(std::make_shared<sqlite::Database>(path)) {}
  ~SqliteConnection() override { Close(); }

  std::unique_ptr<Recordset> Execute(const Text& sql, const std::vector<Value>& params) override {
    db_->get();  // raises when closed
    db_->FinishPendingRead();
    sqlite::Statement statement(db_->get(), sql);
    statement.Bind(params);
    if (statement.column_count() == 0) {
      statement.Step();
      return nullptr;
    }
    return sqlite::ReadQueryResult(db_, statement);
  }

  std::unique_ptr<Recordset> OpenKeyset(const Text& sql,
                                        const std::vector<Value>& params) override {
    db_->get();  // raises when closed
    db_->FinishPendingRead();
    return sqlite::OpenKeysetResult(db_, sql, params);
  }

  // Result sets still open lose their connection: using them raises kObjectClosed.
  void Close() override { db_->Close(); }

  const char* engine() const override { return "sqlite"; }

 private:
  std::shared_ptr<sqlite::Database> db_;
};

}  // namespace

std::unique_ptr<Connection> OpenSqlite(const ConnectionString& cs) {
  const std::optional<Text> path = cs.Get(u"Data Source");
  if (!path || path->empty()) {
    throw Error(kProviderError,
                "Cannot open the database: the SQLite connection string has no "
                "Data Source (the database file's path)");
  }
  if (path->find(u'\0') != Text::npos) {
    // The file name would end at the NUL and name another file.
    throw Error(kProviderError,
                "Cannot open the database: the SQLite Data Source contains a NUL character");
  }
  return std::make_unique<SqliteConnection>(ToUtf8(*path));
}

}  // namespace wq::db
