// Coercion of dispatch arguments to the method's parameter types.
#include "frame/coerce.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>

namespace wq::frame {
namespace {

struct BstrDeleter {
  void operator()(OLECHAR* b) const { SysFreeString(b); }
};
using Bstr = std::unique_ptr<OLECHAR, BstrDeleter>;

VARIANT Make(VARTYPE vt) {
  VARIANT v;
  std::memset(&v, 0, sizeof v);
  v.vt = vt;
  return v;
}
VARIANT I4(LONG x) {
  VARIANT v = Make(VT_I4);
  v.lVal = x;
  return v;
}
VARIANT R8(double x) {
  VARIANT v = Make(VT_R8);
  v.dblVal = x;
  return v;
}
VARIANT Cy(LONGLONG scaled) {
  VARIANT v = Make(VT_CY);
  v.cyVal.int64 = scaled;
  return v;
}
VARIANT Str(const Bstr& b) {
  VARIANT v = Make(VT_BSTR);
  v.bstrVal = b.get();
  return v;
}

VARIANT Dec(uint64_t lo, uint32_t hi, int scale, bool negative) {
  VARIANT v = Make(VT_EMPTY);
  v.decVal.Lo64 = lo;
  v.decVal.Hi32 = hi;
  v.decVal.scale = static_cast<BYTE>(scale);
  v.decVal.sign = negative ? 0x80 : 0;
  v.vt = VT_DECIMAL;
  return v;
}

HRESULT Short(const VARIANT& v, SHORT* out) { return CoerceToShort(v, out); }

TEST(CoerceToShort, IntegersAndTheirRange) {
  SHORT s = 0;
  EXPECT_EQ(Short(I4(32767), &s), S_OK);
  EXPECT_EQ(s, 32767);
  EXPECT_EQ(Short(I4(-32768), &s), S_OK);
  EXPECT_EQ(s, -32768);
  EXPECT_EQ(Short(I4(32768), &s), DISP_E_OVERFLOW);
  EXPECT_EQ(Short(I4(-32769), &s), DISP_E_OVERFLOW);
  EXPECT_EQ(s, -32768);  // untouched by the failures

  VARIANT v = Make(VT_UI1);
  v.bVal = 200;
  EXPECT_EQ(Short(v, &s), S_OK);
  EXPECT_EQ(s, 200);
  v = Make(VT_I1);
  v.cVal = -5;
  EXPECT_EQ(Short(v, &s), S_OK);
  EXPECT_EQ(s, -5);
  v = Make(VT_UI4);
  v.ulVal = 4000000000u;
  EXPECT_EQ(Short(v, &s), DISP_E_OVERFLOW);
  v = Make(VT_I8);
  v.llVal = std::numeric_limits<int64_t>::min();
  EXPECT_EQ(Short(v, &s), DISP_E_OVERFLOW);
  v = Make(VT_UI8);
  v.ullVal = std::numeric_limits<uint64_t>::max();
  EXPECT_EQ(Short(v, &s), DISP_E_OVERFLOW);
  v = Make(VT_BOOL);
  v.boolVal = VARIANT_TRUE;
  EXPECT_EQ(Short(v, &s), S_OK);
  EXPECT_EQ(s, -1);
  EXPECT_EQ(Short(Make(VT_EMPTY), &s), S_OK);
  EXPECT_EQ(s, 0);
}

TEST(CoerceToShort, FractionsRoundHalfToEven) {
  const struct {
    double in;
    SHORT out;
  } cases[] = {{2.5, 2},    {3.5, 4},  {-2.5, -2},      {2.4999, 2},
               {2.5001, 3}, {-0.4, 0}, {32767.4, 32767}};
  for (const auto& c : cases) {
    SHORT s = 99;
    EXPECT_EQ(Short(R8(c.in), &s), S_OK) << c.in;
    EXPECT_EQ(s, c.out) << c.in;
  }
  SHORT s;
  EXPECT_EQ(Short(R8(32767.5), &s), DISP_E_OVERFLOW);  // rounds to 32768
  EXPECT_EQ(Short(R8(-32768.5), &s), S_OK);            // rounds to -32768
  EXPECT_EQ(Short(R8(std::nan("")), &s), DISP_E_OVERFLOW);
  EXPECT_EQ(Short(R8(INFINITY), &s), DISP_E_OVERFLOW);
  EXPECT_EQ(Short(R8(1e300), &s), DISP_E_OVERFLOW);

  // Currency and DECIMAL are exact decimals: no binary rounding error decides the half.
  EXPECT_EQ(Short(Cy(25000), &s), S_OK);
  EXPECT_EQ(s, 2);
  EXPECT_EQ(Short(Cy(25001), &s), S_OK);
  EXPECT_EQ(s, 3);
  EXPECT_EQ(Short(Cy(-35000), &s), S_OK);
  EXPECT_EQ(s, -4);
  EXPECT_EQ(Short(Cy(std::numeric_limits<int64_t>::min()), &s), DISP_E_OVERFLOW);
  EXPECT_EQ(Short(Dec(25, 0, 1, true), &s), S_OK);
  EXPECT_EQ(s, -2);
  // 2.5000000000000000000000001: the last digit makes it round up.
  EXPECT_EQ(Short(Dec(0xB7320334B9000001ull, 0x14ADF4u, 25, false), &s), S_OK);
  EXPECT_EQ(s, 3);
  EXPECT_EQ(Short(Dec(0, 1, 0, false), &s), DISP_E_OVERFLOW);
  EXPECT_EQ(Short(Dec(1, 0, 29, false), &s), DISP_E_TYPEMISMATCH);  // scale beyond 28
}

TEST(CoerceToShort, TextIsReadAsANumber) {
  const struct {
    const char16_t* in;
    HRESULT hr;
    SHORT out;
  } cases[] = {
      {u"42", S_OK, 42},
      {u"  -7\t", S_OK, -7},
      {u"+5", S_OK, 5},
      {u"1e3", S_OK, 1000},
      {u"2.5", S_OK, 2},
      {u".5", S_OK, 0},
      {u"1.", S_OK, 1},
      {u"1e-400", S_OK, 0},
      {u"40000", DISP_E_OVERFLOW, 0},
      {u"1e400", DISP_E_OVERFLOW, 0},
      {u"0.000001e400", DISP_E_OVERFLOW, 0},
      {u"", DISP_E_TYPEMISMATCH, 0},
      {u"   ", DISP_E_TYPEMISMATCH, 0},
      {u"abc", DISP_E_TYPEMISMATCH, 0},
      {u"12abc", DISP_E_TYPEMISMATCH, 0},
      {u".", DISP_E_TYPEMISMATCH, 0},
      {u"1.5e", DISP_E_TYPEMISMATCH, 0},
      {u"--1", DISP_E_TYPEMISMATCH, 0},
      {u"1 2", DISP_E_TYPEMISMATCH, 0},
      {u"inf", DISP_E_TYPEMISMATCH, 0},
      {u"nan", DISP_E_TYPEMISMATCH, 0},
      {u"0x10", DISP_E_TYPEMISMATCH, 0},
      {u"\uFF11", DISP_E_TYPEMISMATCH, 0},
  };
  for (const auto& c : cases) {
    Bstr b(SysAllocString(c.in));
    SHORT s = 0;
    EXPECT_EQ(Short(Str(b), &s), c.hr) << ToUtf8(c.in);
    if (c.hr == S_OK) {
      EXPECT_EQ(s, c.out) << ToUtf8(c.in);
    }
  }
  // A text that is not NUL-terminated where its length says it ends.
  const char16_t digits[] = {u'1', u'2', 0, u'3'};
  Bstr b(SysAllocStringLen(digits, 4));
  SHORT s;
  EXPECT_EQ(Short(Str(b), &s), DISP_E_TYPEMISMATCH);
  // A NULL BSTR is the empty text, which is no number.
  EXPECT_EQ(Short(Str(Bstr()), &s), DISP_E_TYPEMISMATCH);
}

TEST(CoerceToShort, ValuesThatHoldNoNumber) {
  SHORT s;
  EXPECT_EQ(Short(Make(VT_NULL), &s), DISP_E_TYPEMISMATCH);
  VARIANT v = Make(VT_ERROR);
  v.scode = E_FAIL;
  EXPECT_EQ(Short(v, &s), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(Short(Make(VT_DISPATCH), &s), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(Short(Make(VT_UNKNOWN), &s), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(Short(Make(VT_ARRAY | VT_I2), &s), DISP_E_TYPEMISMATCH);
}

TEST(CoerceToBool, NumbersAndWords) {
  VARIANT_BOOL b = 7;
  EXPECT_EQ(CoerceToBool(I4(0), &b), S_OK);
  EXPECT_EQ(b, VARIANT_FALSE);
  EXPECT_EQ(CoerceToBool(I4(5), &b), S_OK);
  EXPECT_EQ(b, VARIANT_TRUE);
  EXPECT_EQ(CoerceToBool(R8(0.1), &b), S_OK);
  EXPECT_EQ(b, VARIANT_TRUE);
  EXPECT_EQ(CoerceToBool(Cy(0), &b), S_OK);
  EXPECT_EQ(b, VARIANT_FALSE);
  EXPECT_EQ(CoerceToBool(Make(VT_EMPTY), &b), S_OK);
  EXPECT_EQ(b, VARIANT_FALSE);
  const struct {
    const char16_t* in;
    HRESULT hr;
    VARIANT_BOOL out;
  } words[] = {{u"True", S_OK, VARIANT_TRUE}, {u" false ", S_OK, VARIANT_FALSE},
               {u"TRUE", S_OK, VARIANT_TRUE}, {u"-1", S_OK, VARIANT_TRUE},
               {u"0", S_OK, VARIANT_FALSE},   {u"yes", DISP_E_TYPEMISMATCH, 0},
               {u"", DISP_E_TYPEMISMATCH, 0}, {u"1e999", DISP_E_OVERFLOW, 0}};
  for (const auto& w : words) {
    Bstr s(SysAllocString(w.in));
    EXPECT_EQ(CoerceToBool(Str(s), &b), w.hr) << ToUtf8(w.in);
    if (w.hr == S_OK) {
      EXPECT_EQ(b, w.out) << ToUtf8(w.in);
    }
  }
  EXPECT_EQ(CoerceToBool(Make(VT_NULL), &b), DISP_E_TYPEMISMATCH);
}

TEST(CoerceToText, StringsAndNumbers) {
  Text t = u"unchanged";
  const char16_t with_nul[] = {u'a', 0, u'b'};
  Bstr b(SysAllocStringLen(with_nul, 3));
  EXPECT_EQ(CoerceToText(Str(b), &t), S_OK);
  EXPECT_EQ(t, Text(with_nul, 3));
  EXPECT_EQ(CoerceToText(Str(Bstr()), &t), S_OK);
  EXPECT_EQ(t, u"");
  EXPECT_EQ(CoerceToText(Make(VT_EMPTY), &t), S_OK);
  EXPECT_EQ(t, u"");

  const struct {
    VARIANT in;
    const char16_t* out;
  } cases[] = {{I4(-12), u"-12"},
               {R8(0.1), u"0.1"},
               {R8(1e20), u"1E+20"},
               {R8(1.0 / 3), u"0.333333333333333"},
               {R8(-0.0), u"0"},
               {Cy(15000), u"1.5"},
               {Cy(-1), u"-0.0001"},
               {Cy(30000), u"3"},
               {Dec(12345, 0, 2, true), u"-123.45"}};
  for (const auto& c : cases) {
    EXPECT_EQ(CoerceToText(c.in, &t), S_OK);
    EXPECT_EQ(t, c.out);
  }
  VARIANT v = Make(VT_BOOL);
  v.boolVal = VARIANT_TRUE;
  EXPECT_EQ(CoerceToText(v, &t), S_OK);
  EXPECT_EQ(t, u"True");
  v = Make(VT_R4);
  v.fltVal = 0.1f;
  EXPECT_EQ(CoerceToText(v, &t), S_OK);
  EXPECT_EQ(t, u"0.1");

  t = u"kept";
  EXPECT_EQ(CoerceToText(Make(VT_NULL), &t), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(CoerceToText(Make(VT_DATE), &t), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(CoerceToText(Make(VT_DISPATCH), &t), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(t, u"kept");
}

TEST(Dereference, FollowsReferencesOnce) {
  VARIANT out;
  SHORT s = 12;
  VARIANT ref = Make(VT_I2 | VT_BYREF);
  ref.piVal = &s;
  ASSERT_EQ(Dereference(ref, &out), S_OK);
  EXPECT_EQ(out.vt, VT_I2);
  EXPECT_EQ(out.iVal, 12);

  // A variant reference to a plain value, and to a typed reference.
  VARIANT inner = I4(70000);
  VARIANT vref = Make(VT_VARIANT | VT_BYREF);
  vref.pvarVal = &inner;
  ASSERT_EQ(Dereference(vref, &out), S_OK);
  EXPECT_EQ(out.vt, VT_I4);
  EXPECT_EQ(out.lVal, 70000);
  inner = ref;
  ASSERT_EQ(Dereference(vref, &out), S_OK);
  EXPECT_EQ(out.vt, VT_I2);

  // DECIMAL overlaps the type field; the copy must still say VT_DECIMAL.
  VARIANT dec = Dec(15, 0, 1, false);
  VARIANT dref = Make(VT_DECIMAL | VT_BYREF);
  dref.pdecVal = &dec.decVal;
  ASSERT_EQ(Dereference(dref, &out), S_OK);
  EXPECT_EQ(out.vt, VT_DECIMAL);
  EXPECT_EQ(out.decVal.Lo64, 15u);
  EXPECT_EQ(out.decVal.scale, 1);

  VARIANT missing = Make(VT_ERROR);
  missing.scode = DISP_E_PARAMNOTFOUND;
  vref.pvarVal = &missing;
  ASSERT_EQ(Dereference(vref, &out), S_OK);
  EXPECT_TRUE(IsMissing(out));
}

TEST(Dereference, MalformedVariants) {
  VARIANT out;
  VARIANT v = Make(VT_I2 | VT_BYREF);
  v.piVal = nullptr;
  EXPECT_EQ(Dereference(v, &out), DISP_E_BADVARTYPE);
  VARIANT chain = Make(VT_VARIANT | VT_BYREF);
  VARIANT outer = Make(VT_VARIANT | VT_BYREF);
  VARIANT leaf = I4(1);
  chain.pvarVal = &leaf;
  outer.pvarVal = &chain;
  EXPECT_EQ(Dereference(outer, &out), DISP_E_BADVARTYPE);
  EXPECT_EQ(Dereference(Make(VT_VARIANT), &out), DISP_E_BADVARTYPE);
  for (VARTYPE bad :
       {VARTYPE(15), VARTYPE(24), VARTYPE(0x0FFF), VARTYPE(0x1000 | VT_I2), VARTYPE(0x8000 | VT_I2),
        VARTYPE(VT_EMPTY | VT_BYREF), VARTYPE(VT_NULL | VT_BYREF)}) {
    VARIANT b = Make(bad);
    b.byref = &leaf;
    EXPECT_EQ(Dereference(b, &out), DISP_E_BADVARTYPE) << bad;
  }
}

}  // namespace
}  // namespace wq::frame
