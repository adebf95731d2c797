// From the ADO connection strings that hosts pass to the ODBC connection strings that the ODBC
// engine opens. Pure: the installed drivers are an argument.
//
//   Provider=SQLOLEDB;Data Source=db1,1433;Initial Catalog=Host;User ID=sa;Password=x
//     -> Driver={FreeTDS};Server=db1;Port=1433;TDS_Version=7.3;Database=Host;UID=sa;PWD=x;
//        Encryption=request;                                           (Linux, FreeTDS)
//   Provider=MSDASQL.1;Data Source=Host;User ID=sa;Extended Properties="APP=x"
//                                         -> DSN=Host;UID=sa;APP=x;
//   DSN=Host / Driver={PostgreSQL Unicode};...   -> as they are
//   Provider=SQLite;...                   -> not for ODBC (the embedded engine)
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/text/text.h"

namespace wq::db::odbc {

// What the ODBC engine opens.
struct OdbcTarget {
  Text connection_string;            // for SQLDriverConnect
  std::optional<int> login_timeout;  // seconds, when the ADO string gave Connect Timeout
  // What the site should know about the connection the driver will make, for the trace and
  // `doctor` (a certificate that the driver will not check although the host asked for it).
  std::string warning = {};
  bool operator==(const OdbcTarget&) const = default;
};

// The SQL Server driver to use: the newest Microsoft "ODBC Driver NN for SQL Server" that is
// installed, else the first installed of FreeTDS, "SQL Server Native Client 11.0" and "SQL
// Server", else `fallback` ("SQL Server" on Windows, "FreeTDS" elsewhere).
Text ChooseSqlServerDriver(const std::vector<Text>& installed, TextView fallback);

// The driver name ChooseSqlServerDriver falls back to on this platform.
TextView DefaultSqlServerDriver();

// Translates the pairs of a parsed ADO connection string (ConnectionString's values: quotes and
// braces already read).
//  - Provider SQLOLEDB, MSOLEDBSQL*, SQLNCLI*: the keywords as the SQL Server driver chosen by
//    ChooseSqlServerDriver takes them (sqlserver_translate.h; README.md lists them per driver);
//    Connect Timeout becomes login_timeout.
//  - Provider MSDASQL: the provider's keywords mapped as it maps them (Data Source -> DSN, User
//    ID -> UID, Password -> PWD, Initial Catalog -> DATABASE, the pairs of Extended Properties
//    joined; an ADO keyword beats its ODBC synonym), the rest as they are.
//  - no Provider with DSN, FILEDSN or Driver: the pairs as ODBC has them.
//  Each key is written once (the last pair wins, as in ADO), each value as the driver reads
//  values (driver_quoting.h; the strictest rule when the driver is not known, as for a DSN).
//  - any other string (Provider=SQLite, other providers, no provider and no DSN/FILEDSN/Driver):
//    std::nullopt, not for ODBC.
// Every pair written ends with ';'. Raises wq::Error (invalid procedure call) for a value that
// cannot be passed on (a NUL, a Connect Timeout that is no number, a value the driver cannot
// read); no message ever quotes a value.
// True when TranslateAdoToOdbc would translate the string (whatever drivers are installed).
bool IsForOdbc(const std::vector<std::pair<Text, Text>>& adoPairs);

std::optional<OdbcTarget> TranslateAdoToOdbc(const std::vector<std::pair<Text, Text>>& adoPairs,
                                             const std::vector<Text>& installedDrivers);

}  // namespace wq::db::odbc
