// The durations an operator gives on the command line; the ages they are compared with are
// db::SecondsBetween.
#pragma once

#include <cstdint>
#include <string_view>

namespace wq::presence {

// A duration of the form <whole number><unit>, unit s, m, h or d ("90s", "10m", "2h", "1d"),
// in seconds. Nothing else is accepted: no blanks, signs, fractions, several units or zero.
// Raises invalid procedure call for anything else, and overflow beyond 100 years.
int64_t ParseDuration(std::string_view text);

}  // namespace wq::presence
