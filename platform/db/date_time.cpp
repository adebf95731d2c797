#include "platform/db/date_time.h"

#include <chrono>
#include <ctime>

namespace wq::db {
namespace {

constexpr int64_t kSecondsPerDay = 86400;

std::chrono::sys_days DayOf(const DateTime& t) {
  return std::chrono::year_month_day(std::chrono::year(t.year),
                                     std::chrono::month(static_cast<unsigned>(t.month)),
                                     std::chrono::day(static_cast<unsigned>(t.day)));
}

int64_t SecondsOf(const DateTime& t) {
  return DayOf(t).time_since_epoch().count() * kSecondsPerDay + t.hour * 3600 + t.minute * 60 +
         t.second;
}

// A cursor over the ASCII digits and punctuation of a text.
template <typename Char>
class Cursor {
 public:
  explicit Cursor(std::basic_string_view<Char> text)
      : pos_(text.data()), end_(text.data() + text.size()) {}

  static unsigned Digit(Char c) { return static_cast<unsigned>(c) - '0'; }
  bool AtEnd() const { return pos_ == end_; }
  bool Take(char c) {
    if (AtEnd() || *pos_ != static_cast<Char>(c)) return false;
    ++pos_;
    return true;
  }
  // Reads up to max ASCII digits; false when fewer than min are there. Unrolled and inlined, so
  // that each field costs a few instructions: every presence record's time text is parsed on
  // every update.
  [[gnu::always_inline]] bool Number(size_t min, size_t max, int& out) {
    const size_t available = static_cast<size_t>(end_ - pos_);
    size_t n = 0;
    int v = 0;
#pragma GCC unroll 4
    for (; n < max; ++n) {
      if (n == available) break;
      const unsigned digit = Digit(pos_[n]);
      if (digit > 9) break;
      v = v * 10 + static_cast<int>(digit);
    }
    pos_ += n;
    out = v;
    return n >= min;
  }

 private:
  const Char* pos_;
  const Char* end_;
};

template <typename Char>
std::optional<DateTime> Parse(std::basic_string_view<Char> text, const DateTextForm& form) {
  Cursor<Char> in(text);
  const size_t fieldMin = form.shortFields ? 1 : 2;
  DateTime t;
  t.hour = t.minute = t.second = 0;
  if (!in.Number(4, 4, t.year)) return std::nullopt;
  const char sep = form.slashes && in.Take('/') ? '/' : '-';
  if ((sep == '-' && !in.Take('-')) || !in.Number(fieldMin, 2, t.month) || !in.Take(sep) ||
      !in.Number(fieldMin, 2, t.day)) {
    return std::nullopt;
  }
  if (in.AtEnd()) {
    if (!form.dateAlone || !IsValidDateTime(t)) return std::nullopt;
    return t;
  }
  if (!(in.Take(' ') || (form.letterT && in.Take('T'))) || !in.Number(fieldMin, 2, t.hour) ||
      !in.Take(':') || !in.Number(2, 2, t.minute)) {
    return std::nullopt;
  }
  if (in.Take(':')) {
    if (!in.Number(2, 2, t.second)) return std::nullopt;
    if (form.maxFraction > 0 && in.Take('.')) {
      int digit = 0;
      int n = 0;
      while (n < form.maxFraction && in.Number(1, 1, digit)) ++n;
      if (n == 0) return std::nullopt;
    }
  } else if (!form.minutesAlone) {
    return std::nullopt;
  }
  if (!in.AtEnd() || !IsValidDateTime(t)) return std::nullopt;
  return t;
}

}  // namespace

bool IsValidDateTime(const DateTime& t) {
  // The ranges first: chrono's month and day keep only a byte of what they are given.
  if (t.year < 1 || t.year > 9999 || t.month < 1 || t.month > 12 || t.day < 1 || t.day > 31) {
    return false;
  }
  const std::chrono::year_month_day day(std::chrono::year(t.year),
                                        std::chrono::month(static_cast<unsigned>(t.month)),
                                        std::chrono::day(static_cast<unsigned>(t.day)));
  return day.ok() && t.hour >= 0 && t.hour <= 23 && t.minute >= 0 && t.minute <= 59 &&
         t.second >= 0 && t.second <= 59;
}

int64_t SecondsBetween(const DateTime& from, const DateTime& to) {
  return SecondsOf(to) - SecondsOf(from);
}

int64_t SecondsSinceEpoch(const DateTime& t) { return SecondsOf(t); }

DateTime FromSecondsSinceEpoch(int64_t seconds) { return AddSeconds(DateTime{1970, 1, 1, 0, 0, 0}, seconds); }

int64_t LocalUtcOffset(int64_t unixSeconds) {
  const std::time_t t = static_cast<std::time_t>(unixSeconds);
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &t);
#else
  localtime_r(&t, &local);
#endif
  const DateTime reading{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                         local.tm_hour,        local.tm_min,     local.tm_sec < 60 ? local.tm_sec : 59};
  return SecondsOf(reading) - unixSeconds;
}

DateTime AddSeconds(const DateTime& t, int64_t seconds) {
  const int64_t total = SecondsOf(t) + seconds;
  const auto day =
      std::chrono::floor<std::chrono::days>(std::chrono::sys_seconds(std::chrono::seconds(total)));
  const std::chrono::year_month_day ymd(day);
  const int64_t rest = total - day.time_since_epoch().count() * kSecondsPerDay;
  return DateTime{static_cast<int>(ymd.year()),          static_cast<int>(unsigned(ymd.month())),
                  static_cast<int>(unsigned(ymd.day())), static_cast<int>(rest / 3600),
                  static_cast<int>(rest / 60 % 60),      static_cast<int>(rest % 60)};
}

std::optional<DateTime> ParseDateText(std::u16string_view text, const DateTextForm& form) {
  return Parse(text, form);
}

std::optional<DateTime> ParseDateText(std::string_view text, const DateTextForm& form) {
  return Parse(text, form);
}

}  // namespace wq::db
