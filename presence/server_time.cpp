#include "presence/server_time.h"

#include <charconv>
#include <cstdio>
#include <string>

#include "platform/error.h"

namespace wq::presence {
namespace {

// A cursor over ASCII digits and punctuation of a text.
class Scanner {
 public:
  explicit Scanner(TextView text) : text_(text) {}

  bool AtEnd() const { return pos_ == text_.size(); }
  bool Take(char16_t c) {
    if (AtEnd() || text_[pos_] != c) return false;
    ++pos_;
    return true;
  }
  char16_t Peek() const { return AtEnd() ? u'\0' : text_[pos_]; }
  // Reads between min and max ASCII digits; false when fewer than min are there.
  bool Number(size_t min, size_t max, int& out) {
    size_t n = 0;
    int v = 0;
    while (n < max && !AtEnd() && text_[pos_] >= u'0' && text_[pos_] <= u'9') {
      v = v * 10 + (text_[pos_] - u'0');
      ++pos_;
      ++n;
    }
    out = v;
    return n >= min;
  }

 private:
  TextView text_;
  size_t pos_ = 0;
};

bool IsLeapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int y, int m) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeapYear(y) ? 29 : kDays[m - 1];
}

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

std::optional<db::DateTime> ParseDate(TextView text) {
  Scanner in(text);
  db::DateTime t;
  if (!in.Number(4, 4, t.year)) return std::nullopt;
  const char16_t sep = in.Peek();
  if (sep != u'-' && sep != u'/') return std::nullopt;
  in.Take(sep);
  if (!in.Number(1, 2, t.month) || !in.Take(sep) || !in.Number(1, 2, t.day)) return std::nullopt;
  if (t.year < 1 || t.month < 1 || t.month > 12 || t.day < 1 ||
      t.day > DaysInMonth(t.year, t.month)) {
    return std::nullopt;
  }
  t.hour = t.minute = t.second = 0;
  if (in.AtEnd()) return t;

  if (!in.Take(u' ') || !in.Number(1, 2, t.hour) || !in.Take(u':') || !in.Number(2, 2, t.minute)) {
    return std::nullopt;
  }
  if (in.Take(u':')) {
    if (!in.Number(2, 2, t.second)) return std::nullopt;
    if (in.Take(u'.')) {
      int fraction = 0;
      if (!in.Number(1, 9, fraction)) return std::nullopt;
    }
  }
  if (!in.AtEnd() || t.hour > 23 || t.minute > 59 || t.second > 59) return std::nullopt;
  return t;
}

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

Text ReadServerTimeText(db::Connection& connection) {
  std::unique_ptr<db::Recordset> rs = connection.Execute(kServerTimeQuery);
  if (rs == nullptr) return {};
  Text result;
  if (!rs->Eof()) result = FormatServerTime(rs->Field(u"SystemDateTime"));
  rs->Close();
  return result;
}

}  // namespace wq::presence
