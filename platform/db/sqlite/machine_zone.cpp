#include "platform/db/sqlite/machine_zone.h"

#include <algorithm>
#include <chrono>
#include <fstream>
#include <iterator>
#include <mutex>

namespace wq::db::sqlite {
namespace {

int64_t BigEndian(std::string_view b, size_t at, size_t n) {
  uint64_t v = 0;
  for (size_t i = 0; i < n; ++i) v = (v << 8) | static_cast<uint8_t>(b[at + i]);
  if (n == 4) return static_cast<int32_t>(static_cast<uint32_t>(v));
  return static_cast<int64_t>(v);
}

// A cursor over a POSIX TZ rule.
struct RuleText {
  std::string_view s;
  size_t at = 0;
  bool More() const { return at < s.size(); }
  bool Take(char c) {
    if (!More() || s[at] != c) return false;
    ++at;
    return true;
  }
  bool Name() {  // "CET" or "<+03>"
    if (Take('<')) {
      while (More() && s[at] != '>') ++at;
      return Take('>');
    }
    const size_t start = at;
    while (More() && ((s[at] >= 'A' && s[at] <= 'Z') || (s[at] >= 'a' && s[at] <= 'z'))) ++at;
    return at - start >= 3;
  }
  std::optional<int64_t> Number() {
    if (!More() || s[at] < '0' || s[at] > '9') return std::nullopt;
    int64_t v = 0;
    while (More() && s[at] >= '0' && s[at] <= '9' && v < 1000) v = v * 10 + (s[at++] - '0');
    return v;
  }
  std::optional<int64_t> Time() {  // [+-]h[:mm[:ss]] in seconds
    const int64_t sign = Take('-') ? -1 : (Take('+'), 1);
    auto h = Number();
    if (!h) return std::nullopt;
    int64_t v = *h * 3600;
    if (Take(':')) {
      auto m = Number();
      if (!m) return std::nullopt;
      v += *m * 60;
      if (Take(':')) {
        auto sec = Number();
        if (!sec) return std::nullopt;
        v += *sec;
      }
    }
    return sign * v;
  }
};

// The day (days since 1970) of "Mm.w.d" in that year.
std::optional<int64_t> RuleDay(RuleText& r, int year) {
  using namespace std::chrono;
  if (!r.Take('M')) return std::nullopt;
  auto m = r.Number();
  if (!m || !r.Take('.')) return std::nullopt;
  auto w = r.Number();
  if (!w || !r.Take('.')) return std::nullopt;
  auto d = r.Number();
  if (!d || *m < 1 || *m > 12 || *w < 1 || *w > 5 || *d > 6) return std::nullopt;
  const year_month ym{std::chrono::year(year), month(static_cast<unsigned>(*m))};
  const sys_days first{ym / 1};
  const unsigned firstWeekday = weekday(first).c_encoding();
  int64_t day = 1 + (*d - firstWeekday + 7) % 7 + (*w - 1) * 7;
  const int64_t last = static_cast<unsigned>((ym / std::chrono::last).day());
  while (day > last) day -= 7;
  return first.time_since_epoch().count() + day - 1;
}

// The local time (seconds since 1970 on the local clock) of "Mm.w.d[/time]" in that year; the
// time of day is 02:00 when not given.
std::optional<int64_t> RuleLocalTime(RuleText& r, int year) {
  const auto day = RuleDay(r, year);
  if (!day) return std::nullopt;
  int64_t time = 7200;
  if (r.Take('/')) {
    const auto v = r.Time();
    if (!v) return std::nullopt;
    time = *v;
  }
  return *day * 86400 + time;
}

}  // namespace

std::optional<int64_t> PosixRuleOffset(std::string_view rule, int64_t t) {
  RuleText r{rule};
  if (!r.Name()) return std::nullopt;
  auto std = r.Time();
  if (!std) return std::nullopt;
  const int64_t stdOffset = -*std;
  if (!r.More()) return stdOffset;
  if (!r.Name()) return std::nullopt;
  int64_t dstOffset = stdOffset + 3600;
  if (r.More() && r.s[r.at] != ',') {
    auto dst = r.Time();
    if (!dst) return std::nullopt;
    dstOffset = -*dst;
  }
  if (!r.Take(',')) return std::nullopt;
  const size_t rulesAt = r.at;
  // The year of the instant in standard time; the change instants of that year.
  using namespace std::chrono;
  const auto localDay = floor<days>(sys_seconds(seconds(t + stdOffset)));
  const int year = static_cast<int>(year_month_day(localDay).year());
  auto change = [&](int y, bool start) -> std::optional<int64_t> {
    r.at = rulesAt;
    const auto startLocal = RuleLocalTime(r, y);
    if (!startLocal || !r.Take(',')) return std::nullopt;
    const auto endLocal = RuleLocalTime(r, y);
    if (!endLocal) return std::nullopt;
    // The start is read on standard time, the end on summer time.
    return start ? *startLocal - stdOffset : *endLocal - dstOffset;
  };
  auto start = change(year, true), end = change(year, false);
  if (!start || !end) return std::nullopt;
  const bool summer = *start < *end ? (t >= *start && t < *end) : (t < *end || t >= *start);
  return summer ? dstOffset : stdOffset;
}

std::optional<ZoneFile> ZoneFile::Parse(std::string_view b) {
  constexpr size_t kHeader = 44;
  if (b.size() < kHeader || b.substr(0, 4) != "TZif" || b[4] < '2') return std::nullopt;
  struct Counts {
    int64_t isut, isstd, leap, time, type, chars;
  };
  auto counts = [&](size_t at) {
    return Counts{BigEndian(b, at + 20, 4), BigEndian(b, at + 24, 4), BigEndian(b, at + 28, 4),
                  BigEndian(b, at + 32, 4), BigEndian(b, at + 36, 4), BigEndian(b, at + 40, 4)};
  };
  const Counts v1 = counts(0);
  for (int64_t c : {v1.isut, v1.isstd, v1.leap, v1.time, v1.type, v1.chars}) {
    if (c < 0 || c > 100000) return std::nullopt;
  }
  const size_t second =
      kHeader + v1.time * 5 + v1.type * 6 + v1.chars + v1.leap * 8 + v1.isstd + v1.isut;
  if (b.size() < second + kHeader || b.substr(second, 4) != "TZif") return std::nullopt;
  const Counts c = counts(second);
  for (int64_t n : {c.isut, c.isstd, c.leap, c.time, c.type, c.chars}) {
    if (n < 0 || n > 100000) return std::nullopt;
  }
  const size_t times = second + kHeader;
  const size_t indices = times + c.time * 8;
  const size_t types = indices + c.time;
  const size_t end = types + c.type * 6 + c.chars + c.leap * 12 + c.isstd + c.isut;
  if (c.type < 1 || b.size() < end) return std::nullopt;
  ZoneFile zone;
  auto offsetOf = [&](int64_t type) {
    return static_cast<int32_t>(BigEndian(b, types + type * 6, 4));
  };
  zone.initial_ = offsetOf(0);
  for (int64_t i = 0; i < c.time; ++i) {
    const int64_t type = static_cast<uint8_t>(b[indices + i]);
    if (type >= c.type) return std::nullopt;
    zone.transitions_.push_back(BigEndian(b, times + i * 8, 8));
    zone.offsetAfter_.push_back(offsetOf(type));
  }
  if (end < b.size() && b[end] == '\n') {
    const size_t close = b.find('\n', end + 1);
    if (close != std::string_view::npos)
      zone.footer_ = std::string(b.substr(end + 1, close - end - 1));
  }
  return zone;
}

std::optional<ZoneFile> ZoneFile::Read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string bytes;
  bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (bytes.size() > (1 << 20)) return std::nullopt;
  return Parse(bytes);
}

int64_t ZoneFile::OffsetAt(int64_t t) const {
  if (transitions_.empty() || t < transitions_.front()) {
    if (!transitions_.empty() || footer_.empty()) return initial_;
  }
  if (transitions_.empty() || t >= transitions_.back()) {
    if (!footer_.empty()) {
      if (auto o = PosixRuleOffset(footer_, t)) return *o;
    }
    if (transitions_.empty()) return initial_;
  }
  const auto it = std::upper_bound(transitions_.begin(), transitions_.end(), t);
  return offsetAfter_[static_cast<size_t>(it - transitions_.begin()) - 1];
}

int64_t MachineClock::OffsetNow(int64_t unixSeconds) {
  // Read once a minute at most: a site that changes the machine's zone sees it soon.
  static std::mutex mutex;
  static std::optional<ZoneFile> zone;
  static std::optional<int64_t> readAt;
  std::lock_guard lock(mutex);
  if (!readAt || unixSeconds < *readAt || unixSeconds - *readAt >= 60) {
    zone = ZoneFile::Read("/etc/localtime");
    readAt = unixSeconds;
  }
  return zone ? zone->OffsetAt(unixSeconds) : 0;
}

}  // namespace wq::db::sqlite
