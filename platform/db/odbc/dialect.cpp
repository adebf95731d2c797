#include "platform/db/odbc/dialect.h"

#include "platform/db/register_sql.h"

namespace wq::db::odbc {

Dialect DialectOf(const std::string& dbms) {
  if (EqualsIgnoreCase(FromUtf8(dbms), u"SQLite")) {
    return {u"SELECT strftime('%Y-%m-%d %H:%M:%S', 'now', 'localtime') AS SystemDateTime"};
  }
  return {kServerClockQuery};
}

}  // namespace wq::db::odbc
