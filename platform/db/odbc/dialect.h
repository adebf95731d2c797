// What differs between the servers the ODBC adapter talks to, in one place. Everything else it
// sends is the same for all (platform/db/register_sql.h).
#pragma once

#include <string>

#include "platform/text/text.h"

namespace wq::db::odbc {

struct Dialect {
  // The query of the server's clock, one row with one column.
  Text serverClockQuery;
};

// The dialect of a product as the driver names it (SQL_DBMS_NAME):
// - Microsoft SQL Server, and PostgreSQL with the getdate() of the schema script: GETDATE().
// - SQLite through its ODBC driver, which has no GETDATE(): the local time in SQLite's own
//   terms, as the same text GETDATE() gives on the embedded engine ("YYYY-MM-DD HH:MM:SS").
// - Any other product: GETDATE().
Dialect DialectOf(const std::string& dbms);

}  // namespace wq::db::odbc
