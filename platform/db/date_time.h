// Dates and times of day on the Gregorian calendar, without time zones: the one calendar check,
// the day arithmetic, and the one reader of date texts.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "platform/db/value.h"

namespace wq::db {

// Whether the fields name a day that exists in the years 1 to 9999 and a time of day from
// 0:00:00 to 23:59:59.
bool IsValidDateTime(const DateTime& t);

// Seconds from `from` to `to` (negative when `to` is earlier); both readings are taken to be in
// the same local time.
int64_t SecondsBetween(const DateTime& from, const DateTime& to);

// The reading as seconds from 1970-01-01 00:00:00 on the same clock (a UTC reading gives Unix
// time), and back.
int64_t SecondsSinceEpoch(const DateTime& t);
DateTime FromSecondsSinceEpoch(int64_t seconds);

// Seconds the process's local time (TZ, else the machine's zone) is ahead of UTC at that instant
// of Unix time.
int64_t LocalUtcOffset(int64_t unixSeconds);

// The reading `seconds` later (earlier when negative) than `t`.
DateTime AddSeconds(const DateTime& t, int64_t seconds);

// The shape of a date text: a four-digit year, month and day, then optionally a blank, hour and
// two-digit minutes, then optionally two-digit seconds and a fraction of a second (dropped).
// Only ASCII digits count and nothing may stand before or after.
struct DateTextForm {
  bool shortFields = false;   // month, day and hour of one or two digits; else exactly two
  bool slashes = false;       // "YYYY/M/D" as well as "YYYY-M-D" (one separator used twice)
  bool letterT = false;       // 'T' may stand for the blank before the time
  bool dateAlone = false;     // the time of day may be left out
  bool minutesAlone = false;  // "H:MM" without seconds
  int maxFraction = 0;        // digits a fraction may have; 0: no fraction
};

// The date the text spells in that form; none for anything else, a day that does not exist
// included.
std::optional<DateTime> ParseDateText(std::u16string_view text, const DateTextForm& form);
std::optional<DateTime> ParseDateText(std::string_view text, const DateTextForm& form);

}  // namespace wq::db
