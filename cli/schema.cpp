#include "cli/schema.h"

#include "cli/sql_script.h"
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
  for (const Text& statement : SplitStatements(FromUtf8(script))) {
    statements.push_back(ToUtf8(statement));
  }
  return statements;
}

bool ApplySchema(db::Register& reg) {
  const std::string_view script = SchemaScript(reg.product());
  // Whether the table is there: the count of presence records fails when it is not. Any other
  // failure shows again, and is reported, when the script runs.
  bool existed = true;
  try {
    reg.CountMarked(u"");
  } catch (const Error&) {
    existed = false;
  }
  for (const std::string& statement : SplitSqlScript(script)) {
    // SQLite's script cannot test for the table itself: its plain CREATE TABLE and CREATE
    // INDEX are skipped here instead, so that an existing table gets no index either.
    if (existed &&
        (statement.rfind("CREATE TABLE", 0) == 0 || statement.rfind("CREATE INDEX", 0) == 0)) {
      continue;
    }
    reg.RunSchemaStatement(FromUtf8(statement));
  }
  return !existed;
}

}  // namespace wq::cli
