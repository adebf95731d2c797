#include "presence/age.h"

#include <string>

#include "platform/error.h"

namespace wq::presence {
namespace {

constexpr int64_t kSecondsPerDay = 86400;
constexpr int64_t kMaxDuration = 100 * 366 * kSecondsPerDay;

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

}  // namespace wq::presence
