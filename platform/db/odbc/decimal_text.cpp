#include "platform/db/odbc/decimal_text.h"

#include <charconv>
#include <string>

namespace wq::db::odbc {

Value DecimalValue(const Text& text, SQLSMALLINT digits) {
  std::string s = ToUtf8(text);
  if (size_t comma = s.find(','); comma != std::string::npos &&
                                  s.find_first_of(",.", comma + 1) == std::string::npos &&
                                  s.find('.') == std::string::npos) {
    s[comma] = '.';
  }
  const char* first = s.data() + (s.starts_with('+') ? 1 : 0);
  const char* last = s.data() + s.size();
  if (digits == 0 && s.find_first_of(".eE") == std::string::npos) {
    int64_t v = 0;
    auto [end, ec] = std::from_chars(first, last, v);
    if (ec == std::errc() && end == last && first != last) return Value(v);
  }
  double d = 0;
  auto [end, ec] = std::from_chars(first, last, d);
  if (ec == std::errc() && end == last && first != last) return Value(d);
  return Value(text);
}

}  // namespace wq::db::odbc
