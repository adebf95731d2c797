// The SystemSetting table as the command creates it, one SQL script per database product.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/db/register.h"

namespace wq::cli {

// The script for a database product as db::Register::product() names it ("sqlite",
// "PostgreSQL", "Microsoft SQL Server"); raises an error for a product without one.
std::string_view SchemaScript(std::string_view dbms);

// Splits a script into its statements (SplitStatements), in UTF-8.
std::vector<std::string> SplitSqlScript(std::string_view script);

// Creates SystemSetting, with its index, where it is missing; an existing table is left as it
// is, without even an index added. Returns true when the table was created, false when it
// existed already.
bool ApplySchema(db::Register& reg);

}  // namespace wq::cli
