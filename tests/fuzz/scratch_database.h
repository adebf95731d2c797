// A throw-away SQLite database with the presence table, for targets that run the real update.
#pragma once

#include "platform/db/value.h"

#include "platform/text/text.h"

namespace wq::fuzz {

// "Provider=SQLite;Data Source=<a file in a fresh temporary folder>", the table created. The
// folder is removed when the process exits.
const Text& ScratchConnection();

// Removes every row.
void EmptyScratchTable();

// Adds a presence row of module Fuzz with that ssOption (any kind of value), directly.
void AddScratchRow(const Text& marker, const db::Value& option);

}  // namespace wq::fuzz
