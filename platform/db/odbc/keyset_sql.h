// The queries that a keyset result accepts, "SELECT * FROM <table> [WHERE ...]", and the SQL
// the engine builds around them. The table name is checked to be a plain identifier (letters,
// digits, '_', optionally schema-qualified), so it can be written into other statements as it
// is; column names are always quoted.
#pragma once

#include <vector>

#include "platform/text/text.h"

namespace wq::db::odbc {

// The table of a keyset query. Raises wq::Error (invalid procedure call) for anything else.
Text KeysetTable(TextView sql);

// "SELECT * FROM <table> WHERE 1=0": the table's columns without any of its rows.
Text DescribeSql(TextView table);

// A quoted identifier: open + name (with every close character doubled) + close.
Text QuoteIdentifier(TextView name, char16_t open, char16_t close);

// "INSERT INTO <table> (<c1>, ...) VALUES (?, ...)" for already quoted column names, or
// "INSERT INTO <table> DEFAULT VALUES" when there are none.
Text InsertSql(TextView table, const std::vector<Text>& quoted_columns);

}  // namespace wq::db::odbc
