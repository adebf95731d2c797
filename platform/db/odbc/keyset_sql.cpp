#include "platform/db/odbc/keyset_sql.h"

namespace wq::db::odbc {
Text KeysetTable(TextView sql) { return Text(ParseKeysetSource(sql).table); }

Text DescribeSql(TextView table) { return u"SELECT * FROM " + Text(table) + u" WHERE 1=0"; }

Text QuoteIdentifier(TextView name, char16_t open, char16_t close) {
  Text out(1, open);
  for (char16_t c : name) {
    out += c;
    if (c == close) out += c;
  }
  out += close;
  return out;
}

Text InsertSql(TextView table, const std::vector<Text>& quoted_columns) {
  Text sql = u"INSERT INTO " + Text(table);
  if (quoted_columns.empty()) return sql + u" DEFAULT VALUES";
  Text values;
  sql += u" (";
  for (size_t i = 0; i < quoted_columns.size(); ++i) {
    if (i > 0) {
      sql += u", ";
      values += u", ";
    }
    sql += quoted_columns[i];
    values += u'?';
  }
  return sql + u") VALUES (" + values + u")";
}

}  // namespace wq::db::odbc
