// What the ODBC engine accepts before anything reaches the server: one statement per call
// (db::SingleStatement), and for keyset results the one query shape "SELECT * FROM <table> [WHERE
// ...] [ORDER BY ...]". The table name is kept as written (bare, "quoted" or [bracketed],
// optionally schema- qualified) after checking that it is well formed, so it can be written into
// the statements built around the query; column names are always quoted.
#pragma once

#include <vector>

#include "platform/db/sql_text.h"
#include "platform/text/text.h"

namespace wq::db::odbc {

// The table of a keyset query (db::ParseKeysetSource, no backtick names), as written. Raises
// wq::Error (invalid procedure call) for any other shape.
Text KeysetTable(TextView sql);

// "SELECT * FROM <table> WHERE 1=0": the table's columns without any of its rows.
Text DescribeSql(TextView table);

// A quoted identifier: open + name (with every close character doubled) + close.
Text QuoteIdentifier(TextView name, char16_t open, char16_t close);

// "INSERT INTO <table> (<c1>, ...) VALUES (?, ...)" for already quoted column names, or
// "INSERT INTO <table> DEFAULT VALUES" when there are none.
Text InsertSql(TextView table, const std::vector<Text>& quoted_columns);

}  // namespace wq::db::odbc
