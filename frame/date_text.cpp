#include "frame/date_text.h"

#include <cmath>
#include <cstdint>
#include <cstdio>

namespace wq::frame {
namespace {

// The dates automation accepts: 1 January 100 to 31 December 9999.
constexpr double kFirstDate = -657434.0;
constexpr double kLastDate = 2958465.999994;

struct Civil {
  int64_t year;
  unsigned month;
  unsigned day;
};

// The calendar date of a day counted from 1 January 1970 (proleptic Gregorian).
Civil CivilFromDays(int64_t z) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const auto doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned day = doy - (153 * mp + 2) / 5 + 1;
  const unsigned month = mp < 10 ? mp + 3 : mp - 9;
  return {static_cast<int64_t>(yoe) + era * 400 + (month <= 2), month, day};
}

}  // namespace

HRESULT FormatDate(DATE date, Text* out) {
  if (!(date >= kFirstDate && date <= kLastDate)) return E_INVALIDARG;  // as oleaut32
  double whole = std::trunc(date);
  auto seconds = static_cast<int64_t>(std::llround(std::fabs(date - whole) * 86400.0));
  if (seconds >= 86400) {  // rounds up into the next day
    seconds -= 86400;
    whole += 1;
  }
  char buffer[48];
  int n = 0;
  if (whole != 0) {
    // Day 0 is 30 December 1899, which is 25569 days before 1 January 1970.
    const Civil c = CivilFromDays(static_cast<int64_t>(whole) - 25569);
    n = std::snprintf(buffer, sizeof buffer, "%u/%u/%lld", c.month, c.day,
                      static_cast<long long>(c.year));
  }
  if (seconds != 0 || whole == 0) {
    const int64_t hour = seconds / 3600;
    n += std::snprintf(buffer + n, sizeof buffer - n, "%s%lld:%02lld:%02lld %s", n > 0 ? " " : "",
                       static_cast<long long>(hour % 12 == 0 ? 12 : hour % 12),
                       static_cast<long long>(seconds / 60 % 60),
                       static_cast<long long>(seconds % 60), hour < 12 ? "AM" : "PM");
  }
  *out = Text(buffer, buffer + n);
  return S_OK;
}

}  // namespace wq::frame
