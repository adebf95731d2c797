#include "cli/schema.h"

#include "platform/db/sql_text.h"
#include "platform/error.h"

namespace wq::cli {

// cli/schema/*.sql, embedded at build time.
extern const char kSqliteSchema[];
extern const char kPostgresqlSchema[];
extern const char kSqlserverSchema[];

std::string_view SchemaScript(std::string_view dbms) {
  const Text name = FromUtf8(dbms);
  if (EqualsIgnoreCase(name, u"sqlite")) return kSqliteSchema;
  if (EqualsIgnoreCase(name, u"PostgreSQL")) return kPostgresqlSchema;
  if (EqualsIgnoreCase(name, u"Microsoft SQL Server")) return kSqlserverSchema;
  throw Error(kInvalidProcedureCall,
              "no SystemSetting schema for the database " + std::string(dbms) +
                  " (there are scripts for SQLite, PostgreSQL and Microsoft SQL Server)");
}

std::vector<std::string> SplitSqlScript(std::string_view script) {
  std::vector<std::string> statements;
  for (const Text& statement : db::SplitStatements(FromUtf8(script))) {
    statements.push_back(ToUtf8(statement));
  }
  return statements;
}

void ApplySchema(db::Connection& connection) {
  for (const std::string& statement : SplitSqlScript(SchemaScript(connection.dbms()))) {
    connection.Execute(FromUtf8(statement));
  }
}

}  // namespace wq::cli
