#include "frame/coerce.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>

#include "frame/quorrel.h"

namespace wq::frame {
namespace {

// A number as automation carries it: an exact integer, a binary floating-point value, or an
// exact decimal (currency and DECIMAL: a 96-bit magnitude with a power-of-ten scale).
struct Number {
  enum Kind { kInteger, kFloat, kDecimal } kind = kInteger;
  bool negative = false;
  uint32_t magnitude[3] = {0, 0, 0};  // kInteger, kDecimal: little-endian 32-bit limbs
  int scale = 0;                      // kDecimal: digits after the decimal point
  double real = 0;                    // kFloat
  int precision = 15;                 // kFloat: significant digits of its text form
};

void SetMagnitude(Number* n, uint64_t low, uint32_t high = 0) {
  n->magnitude[0] = static_cast<uint32_t>(low);
  n->magnitude[1] = static_cast<uint32_t>(low >> 32);
  n->magnitude[2] = high;
}

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

// Rounds half to even, as automation's conversions to integers do. Returns false when the
// value does not fit 64 bits.
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

bool IsAsciiSpace(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

TextView Trim(TextView t) {
  while (!t.empty() && IsAsciiSpace(t.front())) t.remove_prefix(1);
  while (!t.empty() && IsAsciiSpace(t.back())) t.remove_suffix(1);
  return t;
}

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

// Text as a decimal number: optional sign, digits with an optional fraction, an optional
// exponent. Surrounding blanks are allowed; anything else is a type mismatch.
HRESULT ParseNumber(TextView text, Number* out) {
  TextView t = Trim(text);
  bool negative = false;
  if (!t.empty() && (t.front() == u'+' || t.front() == u'-')) {
    negative = t.front() == u'-';
    t.remove_prefix(1);
  }
  std::string ascii;
  bool digits = false;
  bool point = false;
  size_t i = 0;
  for (; i < t.size() && ((t[i] >= u'0' && t[i] <= u'9') || (t[i] == u'.' && !point)); ++i) {
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

bool IsValidBaseType(VARTYPE base) {
  return base <= VT_DECIMAL || (base >= VT_I1 && base <= VT_UINT) || base == VT_RECORD;
}

bool IsValidValueType(VARTYPE vt) {
  if (vt & VT_ARRAY) vt = static_cast<VARTYPE>(vt & ~VT_ARRAY);
  return vt != VT_VARIANT && IsValidBaseType(vt);
}

HRESULT ToNumber(const VARIANT& v, Number* n) {
  if (v.vt & VT_ARRAY) return DISP_E_TYPEMISMATCH;
  switch (v.vt) {
    case VT_EMPTY:
      *n = FromSigned(0);
      return S_OK;
    case VT_I1:
      *n = FromSigned(static_cast<signed char>(v.cVal));
      return S_OK;
    case VT_UI1:
      *n = FromUnsigned(v.bVal);
      return S_OK;
    case VT_I2:
      *n = FromSigned(v.iVal);
      return S_OK;
    case VT_UI2:
      *n = FromUnsigned(v.uiVal);
      return S_OK;
    case VT_I4:
      *n = FromSigned(v.lVal);
      return S_OK;
    case VT_UI4:
      *n = FromUnsigned(v.ulVal);
      return S_OK;
    case VT_INT:
      *n = FromSigned(v.intVal);
      return S_OK;
    case VT_UINT:
      *n = FromUnsigned(v.uintVal);
      return S_OK;
    case VT_I8:
      *n = FromSigned(v.llVal);
      return S_OK;
    case VT_UI8:
      *n = FromUnsigned(v.ullVal);
      return S_OK;
    case VT_BOOL:
      *n = FromSigned(v.boolVal);
      return S_OK;
    case VT_R4:
      *n = FromFloat(v.fltVal, 7);
      return S_OK;
    case VT_R8:
      *n = FromFloat(v.dblVal, 15);
      return S_OK;
    case VT_DATE:
      *n = FromFloat(v.date, 15);
      return S_OK;
    case VT_CY:
      *n = FromSigned(v.cyVal.int64);
      n->kind = Number::kDecimal;
      n->scale = 4;
      return S_OK;
    case VT_DECIMAL:
      if (v.decVal.scale > 28) return DISP_E_TYPEMISMATCH;
      *n = FromUnsigned(v.decVal.Lo64);
      n->magnitude[2] = v.decVal.Hi32;
      n->kind = Number::kDecimal;
      n->scale = v.decVal.scale;
      n->negative = (v.decVal.sign & 0x80) != 0;
      return S_OK;
    case VT_BSTR:
      return ParseNumber(TextFromBstr(v.bstrVal), n);
    default:
      // Null, errors, objects and records hold no number.
      return DISP_E_TYPEMISMATCH;
  }
}

Text Ascii(const std::string& s) { return Text(s.begin(), s.end()); }

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

}  // namespace

HRESULT Dereference(const VARIANT& arg, VARIANT* value) {
  if (!(arg.vt & VT_BYREF)) {
    *value = arg;
    return IsValidValueType(arg.vt) ? S_OK : DISP_E_BADVARTYPE;
  }
  const VARTYPE base = static_cast<VARTYPE>(arg.vt & ~VT_BYREF);
  if (arg.byref == nullptr) return DISP_E_BADVARTYPE;
  if (base == VT_VARIANT) {
    const VARIANT& inner = *arg.pvarVal;
    // A variant reference may hold a typed reference, but not another variant reference.
    if ((inner.vt & VT_BYREF) && (inner.vt & ~VT_BYREF) == VT_VARIANT) return DISP_E_BADVARTYPE;
    return Dereference(inner, value);
  }
  VARIANT v;
  std::memset(&v, 0, sizeof v);
  if (base & VT_ARRAY) {
    if (!IsValidValueType(base)) return DISP_E_BADVARTYPE;
    v.parray = *arg.pparray;
  } else {
    switch (base) {
      case VT_I1:
        v.cVal = *arg.pcVal;
        break;
      case VT_UI1:
        v.bVal = *arg.pbVal;
        break;
      case VT_I2:
        v.iVal = *arg.piVal;
        break;
      case VT_UI2:
        v.uiVal = *arg.puiVal;
        break;
      case VT_I4:
        v.lVal = *arg.plVal;
        break;
      case VT_UI4:
        v.ulVal = *arg.pulVal;
        break;
      case VT_INT:
        v.intVal = *arg.pintVal;
        break;
      case VT_UINT:
        v.uintVal = *arg.puintVal;
        break;
      case VT_I8:
        v.llVal = *arg.pllVal;
        break;
      case VT_UI8:
        v.ullVal = *arg.pullVal;
        break;
      case VT_R4:
        v.fltVal = *arg.pfltVal;
        break;
      case VT_R8:
        v.dblVal = *arg.pdblVal;
        break;
      case VT_DATE:
        v.date = *arg.pdate;
        break;
      case VT_CY:
        v.cyVal = *arg.pcyVal;
        break;
      case VT_BOOL:
        v.boolVal = *arg.pboolVal;
        break;
      case VT_ERROR:
        v.scode = *arg.pscode;
        break;
      case VT_BSTR:
        v.bstrVal = *arg.pbstrVal;
        break;
      case VT_UNKNOWN:
        v.punkVal = *arg.ppunkVal;
        break;
      case VT_DISPATCH:
        v.pdispVal = *arg.ppdispVal;
        break;
      case VT_DECIMAL:
        v.decVal = *arg.pdecVal;
        break;  // overlaps vt, which is set below
      default:
        return DISP_E_BADVARTYPE;
    }
  }
  v.vt = base;
  *value = v;
  return S_OK;
}

bool IsMissing(const VARIANT& value) {
  return value.vt == VT_ERROR && value.scode == DISP_E_PARAMNOTFOUND;
}

HRESULT CoerceToShort(const VARIANT& value, SHORT* out) {
  Number n;
  if (const HRESULT hr = ToNumber(value, &n); FAILED(hr)) return hr;
  bool negative = false;
  uint64_t magnitude = 0;
  if (!RoundToInteger(n, &negative, &magnitude)) return DISP_E_OVERFLOW;
  if (magnitude > (negative ? 32768u : 32767u)) return DISP_E_OVERFLOW;
  *out = static_cast<SHORT>(negative ? -static_cast<int32_t>(magnitude)
                                     : static_cast<int32_t>(magnitude));
  return S_OK;
}

HRESULT CoerceToBool(const VARIANT& value, VARIANT_BOOL* out) {
  if (value.vt == VT_BSTR) {
    const Text text = TextFromBstr(value.bstrVal);
    const TextView word = Trim(text);
    if (EqualsIgnoreCase(word, u"True")) {
      *out = VARIANT_TRUE;
      return S_OK;
    }
    if (EqualsIgnoreCase(word, u"False")) {
      *out = VARIANT_FALSE;
      return S_OK;
    }
  }
  Number n;
  if (const HRESULT hr = ToNumber(value, &n); FAILED(hr)) return hr;
  const bool zero = n.kind == Number::kFloat ? n.real == 0 : IsZero(n.magnitude);
  *out = zero ? VARIANT_FALSE : VARIANT_TRUE;
  return S_OK;
}

HRESULT CoerceToText(const VARIANT& value, Text* out) {
  switch (value.vt) {
    case VT_EMPTY:
      out->clear();
      return S_OK;
    case VT_BSTR:
      *out = TextFromBstr(value.bstrVal);
      return S_OK;
    case VT_BOOL:
      *out = value.boolVal != VARIANT_FALSE ? u"True" : u"False";
      return S_OK;
    case VT_DATE:
      return DISP_E_TYPEMISMATCH;  // no calendar formatting here
    default:
      break;
  }
  Number n;
  if (const HRESULT hr = ToNumber(value, &n); FAILED(hr)) return hr;
  *out = FormatNumber(n);
  return S_OK;
}

}  // namespace wq::frame
