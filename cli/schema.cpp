#include "cli/schema.h"

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
  std::string current;
  auto finish = [&] {
    const auto first = current.find_first_not_of(" \t\r\n");
    if (first != std::string::npos) {
      const auto last = current.find_last_not_of(" \t\r\n");
      statements.push_back(current.substr(first, last - first + 1));
    }
    current.clear();
  };
  size_t i = 0;
  const size_t n = script.size();
  while (i < n) {
    const char c = script[i];
    if (c == '-' && i + 1 < n && script[i + 1] == '-') {  // line comment
      while (i < n && script[i] != '\n') ++i;
      current.push_back(' ');
    } else if (c == '/' && i + 1 < n && script[i + 1] == '*') {  // block comment
      const auto end = script.find("*/", i + 2);
      i = end == std::string_view::npos ? n : end + 2;
      current.push_back(' ');
    } else if (c == '\'' || c == '"' || c == '[') {  // quoted text or name, kept whole
      const char close = c == '[' ? ']' : c;
      size_t j = i + 1;
      while (j < n) {
        if (script[j] == close) {
          if (close != ']' && j + 1 < n && script[j + 1] == close) {
            j += 2;  // a doubled quote stands for one
            continue;
          }
          break;
        }
        ++j;
      }
      if (j >= n) throw Error::InvalidProcedureCall("unterminated quote in SQL script");
      current.append(script.substr(i, j + 1 - i));
      i = j + 1;
    } else if (c == ';') {
      finish();
      ++i;
    } else {
      current.push_back(c);
      ++i;
    }
  }
  finish();
  return statements;
}

bool ApplySchema(db::Connection& connection) {
  const std::string_view script = SchemaScript(connection.dbms());
  // Whether the table is there: a query of no rows that fails when it is not. Any other
  // failure shows again, and is reported, when the script runs.
  bool existed = true;
  try {
    connection.Execute(u"SELECT * FROM SystemSetting WHERE 1=0");
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
    connection.Execute(FromUtf8(statement));
  }
  return !existed;
}

}  // namespace wq::cli
