#include "presence/age.h"

#include <string>

#include "platform/error.h"

namespace wq::presence {
namespace {

constexpr int64_t kSecondsPerDay = 86400;
constexpr int64_t kMaxDuration = 100 * 366 * kSecondsPerDay;

// Days since 1970-01-01 of a Gregorian date (H. Hinnant's days_from_civil).
int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

// The reverse of DaysFromCivil.
void CivilFromDays(int64_t z, db::DateTime& t) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int64_t d = doy - (153 * mp + 2) / 5 + 1;
  const int64_t m = mp < 10 ? mp + 3 : mp - 9;
  t.year = static_cast<int>(yoe + era * 400 + (m <= 2));
  t.month = static_cast<int>(m);
  t.day = static_cast<int>(d);
}

int64_t SecondsOf(const db::DateTime& t) {
  return DaysFromCivil(t.year, t.month, t.day) * kSecondsPerDay + t.hour * 3600 + t.minute * 60 +
         t.second;
}

}  // namespace

int64_t SecondsBetween(const db::DateTime& from, const db::DateTime& to) {
  return SecondsOf(to) - SecondsOf(from);
}

db::DateTime AddSeconds(const db::DateTime& t, int64_t seconds) {
  const int64_t total = SecondsOf(t) + seconds;
  int64_t days = total / kSecondsPerDay;
  int64_t rest = total % kSecondsPerDay;
  if (rest < 0) {
    rest += kSecondsPerDay;
    --days;
  }
  db::DateTime out;
  CivilFromDays(days, out);
  out.hour = static_cast<int>(rest / 3600);
  out.minute = static_cast<int>(rest / 60 % 60);
  out.second = static_cast<int>(rest % 60);
  return out;
}

int64_t ParseDuration(std::string_view text) {
  const auto bad = [&] {
    return Error::InvalidProcedureCall("\"" + std::string(text) +
                                       "\" is not a duration such as 90s, 10m, 2h or 1d");
  };
  if (text.size() < 2) throw bad();
  int64_t unit = 0;
  switch (text.back()) {
    case 's':
      unit = 1;
      break;
    case 'm':
      unit = 60;
      break;
    case 'h':
      unit = 3600;
      break;
    case 'd':
      unit = kSecondsPerDay;
      break;
    default:
      throw bad();
  }
  int64_t count = 0;
  for (char c : text.substr(0, text.size() - 1)) {
    if (c < '0' || c > '9') throw bad();
    count = count * 10 + (c - '0');
    if (count > kMaxDuration) throw Error::Overflow("duration longer than 100 years");
  }
  if (count == 0) throw bad();
  if (count > kMaxDuration / unit) throw Error::Overflow("duration longer than 100 years");
  return count * unit;
}

}  // namespace wq::presence
