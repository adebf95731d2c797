#include "frame/number.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>

namespace wq::frame {
namespace {

void SetMagnitude(Number* n, uint64_t low, uint32_t high = 0) {
  n->magnitude[0] = static_cast<uint32_t>(low);
  n->magnitude[1] = static_cast<uint32_t>(low >> 32);
  n->magnitude[2] = high;
}

bool IsZero(const uint32_t (&m)[3]) { return m[0] == 0 && m[1] == 0 && m[2] == 0; }

// Divides the 96-bit magnitude by 10 in place and returns the remainder.
uint32_t DivideBy10(uint32_t (&m)[3]) {
  uint64_t rest = 0;
  for (int i = 2; i >= 0; --i) {
    const uint64_t part = (rest << 32) | m[i];
    m[i] = static_cast<uint32_t>(part / 10);
    rest = part % 10;
  }
  return static_cast<uint32_t>(rest);
}

void Increment(uint32_t (&m)[3]) {
  for (auto& limb : m) {
    if (++limb != 0) break;
  }
}

}  // namespace

Number FromSigned(int64_t v) {
  Number n;
  n.negative = v < 0;
  SetMagnitude(&n, v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v));
  return n;
}

Number FromUnsigned(uint64_t v) {
  Number n;
  SetMagnitude(&n, v);
  return n;
}

Number FromFloat(double v, int precision) {
  Number n;
  n.kind = Number::kFloat;
  n.real = v;
  n.precision = precision;
  return n;
}

bool IsZero(const Number& n) {
  return n.kind == Number::kFloat ? n.real == 0 : IsZero(n.magnitude);
}

bool RoundToInteger(const Number& n, bool* negative, uint64_t* magnitude) {
  *negative = n.negative;
  if (n.kind == Number::kFloat) {
    if (!std::isfinite(n.real)) return false;
    double whole = std::floor(n.real);
    const double fraction = n.real - whole;
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(whole, 2.0) != 0)) whole += 1;
    if (std::fabs(whole) >= 18446744073709551616.0) return false;
    *negative = whole < 0;
    *magnitude = static_cast<uint64_t>(std::fabs(whole));
    return true;
  }
  uint32_t m[3] = {n.magnitude[0], n.magnitude[1], n.magnitude[2]};
  if (n.kind == Number::kDecimal && n.scale > 0) {
    uint32_t last = 0;
    bool sticky = false;
    for (int i = 0; i < n.scale; ++i) {
      sticky = sticky || last != 0;
      last = DivideBy10(m);
    }
    if (last > 5 || (last == 5 && (sticky || (m[0] & 1)))) Increment(m);
  }
  if (m[2] != 0) return false;
  *magnitude = (uint64_t{m[1]} << 32) | m[0];
  if (*magnitude == 0) *negative = false;
  return true;
}

namespace {

// The power of ten just above a well-formed decimal text's value: positive for values >= 1.
int64_t DecimalOrder(const std::string& ascii) {
  const size_t e = ascii.find('e');
  const std::string mantissa = ascii.substr(0, e);
  int64_t exponent = 0;
  if (e != std::string::npos) {
    size_t i = e + 1;
    const bool minus = i < ascii.size() && ascii[i] == '-';
    if (i < ascii.size() && (ascii[i] == '-' || ascii[i] == '+')) ++i;
    for (; i < ascii.size(); ++i)
      exponent = std::min<int64_t>(exponent * 10 + (ascii[i] - '0'), 1'000'000'000);
    if (minus) exponent = -exponent;
  }
  const size_t point = std::min(mantissa.find('.'), mantissa.size());
  const size_t first = mantissa.find_first_not_of("0.");
  if (first == std::string::npos) return INT64_MIN;  // zero
  if (first < point) return static_cast<int64_t>(point - first) + exponent;
  return exponent - static_cast<int64_t>(first - point - 1);
}

// Digits after "&": "H" and hexadecimal ones, or "O" and octal ones, as Basic writes them.
HRESULT ParseHexOrOctal(TextView t, Number* out) {
  const char16_t base = t[0] == u'h' || t[0] == u'H' ? 16 : t[0] == u'o' || t[0] == u'O' ? 8 : 0;
  if (base == 0 || t.size() < 2) return DISP_E_TYPEMISMATCH;
  uint64_t value = 0;
  for (char16_t c : t.substr(1)) {
    int digit = -1;
    if (c >= u'0' && c <= u'9') digit = c - u'0';
    if (c >= u'a' && c <= u'f') digit = c - u'a' + 10;
    if (c >= u'A' && c <= u'F') digit = c - u'A' + 10;
    if (digit < 0 || digit >= base) return DISP_E_TYPEMISMATCH;
    if (value > (UINT64_MAX - digit) / base) return DISP_E_OVERFLOW;
    value = value * base + digit;
  }
  *out = FromUnsigned(value);
  out->bits = true;
  return S_OK;
}

}  // namespace

HRESULT ParseNumber(TextView text, Number* out) {
  TextView t = TrimBlanks(text);
  if (t.size() > 1 && t[0] == u'&') return ParseHexOrOctal(t.substr(1), out);
  // English (United States) as oleaut32 reads it: "(5)" and "5-" are negative, a dollar sign
  // may lead, commas group the whole digits.
  bool negative = false;
  if (t.size() > 2 && t.front() == u'(' && t.back() == u')') {
    negative = true;
    t = t.substr(1, t.size() - 2);
  }
  if (!t.empty() && (t.front() == u'+' || t.front() == u'-')) {
    negative = negative != (t.front() == u'-');
    t.remove_prefix(1);
  } else if (t.size() > 1 && (t.back() == u'+' || t.back() == u'-')) {
    negative = negative != (t.back() == u'-');
    t.remove_suffix(1);
  }
  if (!t.empty() && t.front() == u'$') t.remove_prefix(1);
  std::string ascii;
  bool digits = false;
  bool point = false;
  size_t i = 0;
  for (; i < t.size() && ((t[i] >= u'0' && t[i] <= u'9') || (t[i] == u'.' && !point) ||
                          (t[i] == u',' && digits && !point));
       ++i) {
    if (t[i] == u',') continue;
    digits = digits || t[i] != u'.';
    point = point || t[i] == u'.';
    ascii.push_back(static_cast<char>(t[i]));
  }
  if (!digits) return DISP_E_TYPEMISMATCH;
  if (i < t.size() && (t[i] == u'e' || t[i] == u'E')) {
    ascii.push_back('e');
    ++i;
    if (i < t.size() && (t[i] == u'+' || t[i] == u'-')) ascii.push_back(static_cast<char>(t[i++]));
    const size_t start = i;
    for (; i < t.size() && t[i] >= u'0' && t[i] <= u'9'; ++i) {
      ascii.push_back(static_cast<char>(t[i]));
    }
    if (i == start) return DISP_E_TYPEMISMATCH;
  }
  if (i != t.size()) return DISP_E_TYPEMISMATCH;
  double value = 0;
  const auto [end, error] =
      std::from_chars(ascii.data(), ascii.data() + ascii.size(), value, std::chars_format::general);
  if (error == std::errc::result_out_of_range) {
    // Too small rounds to zero; too large does not fit anything.
    if (DecimalOrder(ascii) > 0) return DISP_E_OVERFLOW;
    value = 0;
  } else if (error != std::errc() || end != ascii.data() + ascii.size()) {
    return DISP_E_TYPEMISMATCH;
  }
  *out = FromFloat(negative ? -value : value, 15);
  return S_OK;
}

namespace {

Text Ascii(const std::string& s) { return Text(s.begin(), s.end()); }

}  // namespace

Text FormatNumber(const Number& n) {
  if (n.kind == Number::kFloat) {
    if (n.real == 0) return u"0";
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, n.real,
                                      std::chars_format::general, n.precision);
    std::string s(buffer, result.ptr);
    for (auto& c : s) {
      if (c == 'e') c = 'E';
    }
    return Ascii(s);
  }
  uint32_t m[3] = {n.magnitude[0], n.magnitude[1], n.magnitude[2]};
  std::string digits;
  while (!IsZero(m)) digits.insert(digits.begin(), static_cast<char>('0' + DivideBy10(m)));
  const size_t scale = n.kind == Number::kDecimal ? static_cast<size_t>(n.scale) : 0;
  if (digits.size() <= scale) digits.insert(0, scale + 1 - digits.size(), '0');
  if (scale > 0) {
    digits.insert(digits.size() - scale, 1, '.');
    while (digits.back() == '0') digits.pop_back();
    if (digits.back() == '.') digits.pop_back();
  }
  if (digits == "0") return u"0";
  return Ascii(n.negative ? "-" + digits : digits);
}

}  // namespace wq::frame
