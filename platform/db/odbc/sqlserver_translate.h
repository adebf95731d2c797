// The keywords of a SQL Server provider's ADO string (SQLOLEDB, SQLNCLI*, MSOLEDBSQL*) as the
// chosen ODBC driver takes them. README.md lists, per driver, what each keyword becomes.
#pragma once

#include <string>

#include "platform/db/odbc/ado_pairs.h"

namespace wq::db::odbc {

// The ODBC connection string, without the login timeout, for the driver named `driver`.
// Raises wq::Error (invalid procedure call) for a value this driver cannot receive; the message
// names the keyword, never the value. `warning`, when given, receives what the site should know
// about the connection (FreeTDS and a certificate it will not check), else stays as it is.
Text TranslateSqlServerKeywords(const AdoPairs& pairs, TextView provider, TextView driver,
                                std::string* warning = nullptr);

}  // namespace wq::db::odbc
