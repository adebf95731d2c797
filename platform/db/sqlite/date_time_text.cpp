#include "platform/db/sqlite/date_time_text.h"

#include <chrono>
#include <cstdio>
#include <limits>

#include "platform/db/date_time.h"
#include "platform/db/sqlite/machine_zone.h"
#include "platform/env/env.h"
#include "platform/error.h"

namespace wq::db::sqlite {
namespace {

// What SQLite stores, and what a column declared as a date also accepts.
constexpr DateTextForm kStored{};
constexpr DateTextForm kLenient{.letterT = true,
                                .dateAlone = true,
                                .minutesAlone = true,
                                .maxFraction = std::numeric_limits<int>::max()};

}  // namespace

std::string FormatDateTime(const DateTime& v) {
  if (!IsValidDateTime(v))
    throw Error::InvalidProcedureCall("the date and time value does not exist");
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d", v.year, v.month, v.day,
                v.hour, v.minute, v.second);
  return buffer;
}

std::optional<DateTime> ParseDateTime(std::string_view text, bool lenient) {
  return ParseDateText(text, lenient ? kLenient : kStored);
}

DateTime LocalNow() {
  const int64_t now =
      std::chrono::floor<std::chrono::seconds>(Env::Default().Now()).time_since_epoch().count();
  return FromSecondsSinceEpoch(now + MachineClock::OffsetNow(now));
}

}  // namespace wq::db::sqlite
