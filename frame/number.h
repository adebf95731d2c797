// Numbers as automation carries them, for the coercion of dispatch arguments: exact integers,
// binary floating point and exact decimals; reading them from text and writing them as text.
#pragma once

#include <cstdint>

#include "platform/com/com.h"
#include "platform/text/text.h"

namespace wq::frame {

// A number as automation carries it: an exact integer, a binary floating-point value, or an
// exact decimal (currency and DECIMAL: a 96-bit magnitude with a power-of-ten scale).
struct Number {
  enum Kind { kInteger, kFloat, kDecimal } kind = kInteger;
  bool negative = false;
  uint32_t magnitude[3] = {0, 0, 0};  // kInteger, kDecimal: little-endian 32-bit limbs
  int scale = 0;                      // kDecimal: digits after the decimal point
  double real = 0;                    // kFloat
  int precision = 15;                 // kFloat: significant digits of its text form
  bool bits = false;  // read from "&H" or "&O" text: a 16-bit target takes it as 16 bits
};

Number FromSigned(int64_t v);
Number FromUnsigned(uint64_t v);
Number FromFloat(double v, int precision);
bool IsZero(const Number& n);

// Rounds half to even, as automation's conversions to integers do. Returns false when the
// value does not fit 64 bits.
bool RoundToInteger(const Number& n, bool* negative, uint64_t* magnitude);

// Text as a number: optional sign, digits with an optional fraction and exponent, or "&H" and
// hexadecimal digits or "&O" and octal ones; surrounding blanks. DISP_E_TYPEMISMATCH for anything
// else, DISP_E_OVERFLOW for a value beyond a double.
HRESULT ParseNumber(TextView text, Number* out);

// The text automation writes for a number: integers in full, doubles with their significant
// digits ("1E+20"), decimals without trailing zeros.
Text FormatNumber(const Number& n);

}  // namespace wq::frame
