// The database server's clock as the presence records carry it, and the date test that tells a
// live record from a damaged one.
#pragma once

#include <optional>

#include "platform/db/register.h"
#include "platform/db/value.h"
#include "platform/text/text.h"

namespace wq::presence {

// Formats a clock value as "yyyy-m-d h:Nn:Ss": four-digit year, month, day and hour without
// leading zeros, minutes and seconds with two digits (2026-3-7 9:05:02).
// - A date and time is formatted.
// - A text that reads as a date (see ParseDate) is formatted; fractions of a second are dropped.
// - Any other text is returned unchanged, and a number as its decimal text, so that a clock that
//   gives junk shows up as a time text that is not a date.
// - A null raises invalid use of null.
Text FormatServerTime(const db::Value& value);

// The server's clock, formatted; the empty text when its query returns no row.
Text ReadServerTimeText(db::Register& reg);

// Reads a text as a calendar date with an optional time of day. Accepted, with nothing before
// or after:
//   YYYY-M-D or YYYY/M/D   four-digit year 0001..9999, month and day of one or two digits, one
//                          separator used twice; the day must exist in that month (Gregorian
//                          leap years)
//   followed optionally by one blank and H:MM, H:MM:SS or H:MM:SS.F
//                          hour of one or two digits 0..23, minutes and seconds of two digits
//                          0..59, a fraction of one to nine digits
// Only ASCII digits count. Every text that FormatServerTime makes from a date passes; the empty
// text, blanks around the text, other separators, names of months and time zones do not.
std::optional<db::DateTime> ParseDate(TextView text);
inline bool IsDate(TextView text) { return ParseDate(text).has_value(); }

}  // namespace wq::presence
