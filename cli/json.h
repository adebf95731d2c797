// JSON for the command's machine-readable output: documents are built as nlohmann-json values
// and written with a blank after every ',' and ':', as the command has always written them.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "platform/text/text.h"

namespace wq::cli {

using Json = nlohmann::ordered_json;  // keys stay in the order they were added

// A text as a JSON string value (UTF-8; unpaired surrogates become U+FFFD).
inline Json JsonText(TextView text) { return ToUtf8(text); }

// The value as JSON text: "{"a": 1, "b": [1, 2]}". Strings are escaped by the library: quotes,
// backslashes and control characters below 0x20.
std::string Dump(const Json& value);

// The text as a quoted JSON string.
inline std::string JsonString(TextView text) { return Dump(JsonText(text)); }

}  // namespace wq::cli
