// A throw-away SQLite database with the presence table, for targets that run the real update.
#pragma once

#include "platform/text/text.h"

namespace wq::fuzz {

// "Provider=SQLite;Data Source=<a file in a fresh temporary folder>", the table created. The
// folder is removed when the process exits.
const Text& ScratchConnection();

// Removes every row.
void EmptyScratchTable();

}  // namespace wq::fuzz
