#include "platform/db/sqlite/date_time_text.h"

#include <cstdio>
#include <ctime>

#include "platform/error.h"

namespace wq::db::sqlite {
namespace {

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

bool IsValid(const DateTime& v) {
  return v.year >= 1 && v.year <= 9999 && v.month >= 1 && v.month <= 12 && v.day >= 1 &&
         v.day <= DaysInMonth(v.year, v.month) && v.hour >= 0 && v.hour <= 23 && v.minute >= 0 &&
         v.minute <= 59 && v.second >= 0 && v.second <= 59;
}

// Reads exactly `width` decimal digits at text[pos].
bool Digits(std::string_view text, size_t pos, size_t width, int& out) {
  if (pos + width > text.size()) return false;
  out = 0;
  for (size_t i = pos; i < pos + width; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    out = out * 10 + (text[i] - '0');
  }
  return true;
}

}  // namespace

std::string FormatDateTime(const DateTime& v) {
  if (!IsValid(v)) throw Error::InvalidProcedureCall("the date and time value does not exist");
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d", v.year, v.month, v.day,
                v.hour, v.minute, v.second);
  return buffer;
}

std::optional<DateTime> ParseDateTime(std::string_view text, bool lenient) {
  DateTime v;
  if (!Digits(text, 0, 4, v.year) || text.size() < 10 || text[4] != '-' ||
      !Digits(text, 5, 2, v.month) || text[7] != '-' || !Digits(text, 8, 2, v.day)) {
    return std::nullopt;
  }
  v.hour = v.minute = v.second = 0;
  size_t end = 10;
  if (text.size() > 10) {
    const bool blank = text[10] == ' ';
    if (!(blank || (lenient && text[10] == 'T')) || !Digits(text, 11, 2, v.hour) ||
        text.size() < 16 || text[13] != ':' || !Digits(text, 14, 2, v.minute)) {
      return std::nullopt;
    }
    end = 16;
    if (text.size() > 16) {
      if (text[16] != ':' || !Digits(text, 17, 2, v.second)) return std::nullopt;
      end = 19;
      if (lenient && text.size() > 19 && text[19] == '.') {
        end = 20;
        while (end < text.size() && text[end] >= '0' && text[end] <= '9') ++end;
        if (end == 20) return std::nullopt;
      }
    }
  }
  if (end != text.size()) return std::nullopt;
  if (!lenient && end != 19) return std::nullopt;
  if (!IsValid(v)) return std::nullopt;
  return v;
}

DateTime LocalNow() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return DateTime{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                  local.tm_hour,        local.tm_min,     local.tm_sec < 60 ? local.tm_sec : 59};
}

}  // namespace wq::db::sqlite
