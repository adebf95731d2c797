#include "presence/server_time.h"

#include <charconv>
#include <cstdio>
#include <string>

#include "platform/db/date_time.h"
#include "platform/error.h"

namespace wq::presence {
namespace {

// Dates as the server time text and the records carry them, and a little more.
constexpr db::DateTextForm kDateForm{.shortFields = true,
                                     .slashes = true,
                                     .dateAlone = true,
                                     .minutesAlone = true,
                                     .maxFraction = 9};

void AppendNumber(std::string& out, int value, int width) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%0*d", width, value);
  out += buf;
}

Text Format(const db::DateTime& t) {
  std::string s;
  AppendNumber(s, t.year, 4);
  s += '-';
  AppendNumber(s, t.month, 1);
  s += '-';
  AppendNumber(s, t.day, 1);
  s += ' ';
  AppendNumber(s, t.hour, 1);
  s += ':';
  AppendNumber(s, t.minute, 2);
  s += ':';
  AppendNumber(s, t.second, 2);
  return Text(s.begin(), s.end());
}

}  // namespace

std::optional<db::DateTime> ParseDate(TextView text) { return db::ParseDateText(text, kDateForm); }

Text FormatServerTime(const db::Value& value) {
  if (value.IsNull()) throw Error::InvalidUseOfNull("SystemDateTime");
  if (value.IsDateTime()) return Format(value.date_time());
  if (value.IsText()) {
    if (auto t = ParseDate(value.text())) return Format(*t);
    return value.text();
  }
  std::string s;
  if (value.IsInteger()) {
    s = std::to_string(value.integer());
  } else {
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, value.real());
    s.assign(buf, r.ptr);
  }
  return Text(s.begin(), s.end());
}

Text ReadServerTimeText(db::Register& reg) {
  const std::optional<db::Value> clock = reg.ServerClock();
  return clock ? FormatServerTime(*clock) : Text();
}

}  // namespace wq::presence
