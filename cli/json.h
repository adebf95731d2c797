// JSON text for the command's machine-readable output.
#pragma once

#include <string>

#include "platform/text/text.h"

namespace wq::cli {

// The text as a quoted JSON string in UTF-8: quotes, backslashes, control characters and the
// line and paragraph separators escaped; unpaired surrogates become U+FFFD.
std::string JsonString(TextView text);

}  // namespace wq::cli
