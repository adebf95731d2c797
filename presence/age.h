// The durations an operator gives on the command line, and the ages they are compared with.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

#include "platform/db/value.h"

namespace wq::presence {

// A duration of the form <whole number><unit>, unit s, m, h or d ("90s", "10m", "2h", "1d"),
// in seconds. Nothing else is accepted: no blanks, signs, fractions, several units or zero.
// Raises invalid procedure call for anything else, and overflow beyond 100 years.
int64_t ParseDuration(std::string_view text);

// The zone a clock's readings follow: how many seconds it is ahead of UTC at an instant of Unix
// time (db::LocalUtcOffset for the machine's zone).
using UtcOffsetAt = std::function<int64_t(int64_t unixSeconds)>;

// The least age, in seconds, that a record stamped `when` can have at `now`, both readings of a
// clock in that zone. Around a change of the zone's offset a reading may stand for two instants
// (autumn) or for none (spring: then the instants of either offset count); the least difference
// over all of them is the age. Without a change near either reading it is the plain difference.
int64_t LeastAge(const db::DateTime& when, const db::DateTime& now, const UtcOffsetAt& offsetAt);

}  // namespace wq::presence
