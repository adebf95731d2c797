// Ages of presence records: the distance between two clock readings, and the durations an
// operator gives on the command line.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/db/value.h"

namespace wq::presence {

// Seconds from `from` to `to` (negative when `to` is earlier), counted on the Gregorian calendar
// without time zones: both readings are taken to be in the server's own local time.
int64_t SecondsBetween(const db::DateTime& from, const db::DateTime& to);

// The reading `seconds` later (earlier when negative) than `t`.
db::DateTime AddSeconds(const db::DateTime& t, int64_t seconds);

// A duration of the form <whole number><unit>, unit s, m, h or d ("90s", "10m", "2h", "1d"),
// in seconds. Nothing else is accepted: no blanks, signs, fractions, several units or zero.
// Raises invalid procedure call for anything else, and overflow beyond 100 years.
int64_t ParseDuration(std::string_view text);

}  // namespace wq::presence
