// Stored texts (workstation and module names) shown on a terminal or in a log: they come from
// any workstation, so nothing in them may move the cursor, end a line or turn the text around.
#pragma once

#include <string>

#include "platform/text/text.h"

namespace wq::cli {

// The text in UTF-8 with control characters, line and paragraph separators and bidirectional
// controls each replaced by '?'.
std::string Printable(TextView text);

// Printable(text) between double quotes.
std::string QuotedPrintable(TextView text);

}  // namespace wq::cli
