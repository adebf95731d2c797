#include "presence/age.h"

#include <algorithm>
#include <string>
#include <vector>

#include "platform/db/date_time.h"

#include "platform/error.h"

namespace wq::presence {
namespace {

constexpr int64_t kSecondsPerDay = 86400;
constexpr int64_t kMaxDuration = 100 * 366 * kSecondsPerDay;

// Every zone's offset lies within 15 hours of UTC, and offsets change at most a few times a
// year, hours apart: sampling every hour of that window finds each offset near a reading.
constexpr int64_t kWindow = 15 * 3600;
constexpr int64_t kStep = 3600;

// The instants (Unix seconds) that a reading can stand for.
std::vector<int64_t> Instants(const db::DateTime& reading, const UtcOffsetAt& offsetAt) {
  const int64_t asUtc = db::SecondsSinceEpoch(reading);
  std::vector<int64_t> offsets;
  for (int64_t t = asUtc - kWindow; t <= asUtc + kWindow; t += kStep) {
    const int64_t o = offsetAt(t);
    if (std::find(offsets.begin(), offsets.end(), o) == offsets.end()) offsets.push_back(o);
  }
  std::vector<int64_t> instants;
  for (int64_t o : offsets) {
    if (offsetAt(asUtc - o) == o) instants.push_back(asUtc - o);
  }
  if (instants.empty()) {
    // A reading the clock skipped: it may stand for the instant of either offset.
    for (int64_t o : offsets) instants.push_back(asUtc - o);
  }
  return instants;
}

}  // namespace

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

int64_t LeastAge(const db::DateTime& when, const db::DateTime& now, const UtcOffsetAt& offsetAt) {
  const std::vector<int64_t> stamped = Instants(when, offsetAt);
  const std::vector<int64_t> current = Instants(now, offsetAt);
  return *std::min_element(current.begin(), current.end()) -
         *std::max_element(stamped.begin(), stamped.end());
}

}  // namespace wq::presence
