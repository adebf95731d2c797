// Coercion of dispatch arguments to the method's parameter types.
#include "frame/coerce.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <string>

#include "tests/frame/coerce_cases.h"

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

// The shared table: every client argument in each of its three forms.
TEST(CoerceTable, EveryCaseInEveryForm) {
  for (const cases::CoerceCase& c : cases::kCases) {
    cases::CaseArgument argument(c);
    for (int form = 0; form < 3; ++form) {
      if (!argument.HasForm(form)) continue;
      const std::string what = std::string("vt ") + std::to_string(c.vt) + " " +
                               (c.source ? c.source
                                : c.text ? ToUtf8(c.text)
                                         : "") +
                               " " + cases::FormName(form);
      Text result = u"untouched";
      EXPECT_EQ(cases::CoerceOurs(argument.Form(form), c.target, &result), c.hr) << what;
      EXPECT_EQ(result, c.hr == S_OK ? Text(c.result) : Text(u"untouched")) << what;
    }
  }
}

TEST(CoerceToShort, ValuesAtTheEdges) {
  SHORT s = 0;
  EXPECT_EQ(Short(R8(std::nan("")), &s), DISP_E_OVERFLOW);
  EXPECT_EQ(Short(R8(INFINITY), &s), DISP_E_OVERFLOW);
  EXPECT_EQ(Short(R8(1e300), &s), DISP_E_OVERFLOW);
  EXPECT_EQ(Short(Cy(std::numeric_limits<int64_t>::min()), &s), DISP_E_OVERFLOW);
  // DECIMAL is exact: 2.5000000000000000000000001 rounds up on its last digit.
  EXPECT_EQ(Short(Dec(25, 0, 1, true), &s), S_OK);
  EXPECT_EQ(s, -2);
  EXPECT_EQ(Short(Dec(0xB7320334B9000001ull, 0x14ADF4u, 25, false), &s), S_OK);
  EXPECT_EQ(s, 3);
  EXPECT_EQ(Short(Dec(0, 1, 0, false), &s), DISP_E_OVERFLOW);
  EXPECT_EQ(Short(Dec(1, 0, 29, false), &s), DISP_E_TYPEMISMATCH);  // scale beyond 28
  EXPECT_EQ(Short(Make(VT_UNKNOWN), &s), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(Short(Make(VT_ARRAY | VT_I2), &s), DISP_E_TYPEMISMATCH);
}

// Hostile and odd text; the everyday forms are in the table.
TEST(CoerceToShort, TextThatIsNoPlainNumber) {
  const struct {
    const char16_t* in;
    HRESULT hr;
    SHORT out;
  } cases[] = {
      {u"+5", S_OK, 5},
      {u".5", S_OK, 0},
      {u"1.", S_OK, 1},
      {u"1e-400", S_OK, 0},
      {u"1e400", DISP_E_OVERFLOW, 0},
      {u"0.000001e400", DISP_E_OVERFLOW, 0},
      {u"12abc", DISP_E_TYPEMISMATCH, 0},
      {u".", DISP_E_TYPEMISMATCH, 0},
      {u"1.5e", DISP_E_TYPEMISMATCH, 0},
      {u"--1", DISP_E_TYPEMISMATCH, 0},
      {u"1 2", DISP_E_TYPEMISMATCH, 0},
      {u"inf", DISP_E_TYPEMISMATCH, 0},
      {u"nan", DISP_E_TYPEMISMATCH, 0},
      {u"&H", DISP_E_TYPEMISMATCH, 0},
      {u"&H1G", DISP_E_TYPEMISMATCH, 0},
      {u"&O8", DISP_E_TYPEMISMATCH, 0},
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

TEST(CoerceToText, TextKeptWholeAndExactDecimals) {
  Text t = u"unchanged";
  const char16_t with_nul[] = {u'a', 0, u'b'};
  Bstr b(SysAllocStringLen(with_nul, 3));
  EXPECT_EQ(CoerceToText(Str(b), &t), S_OK);
  EXPECT_EQ(t, Text(with_nul, 3));
  EXPECT_EQ(CoerceToText(Str(Bstr()), &t), S_OK);
  EXPECT_EQ(t, u"");
  EXPECT_EQ(CoerceToText(R8(-0.0), &t), S_OK);
  EXPECT_EQ(t, u"0");
  EXPECT_EQ(CoerceToText(Cy(30000), &t), S_OK);
  EXPECT_EQ(t, u"3");
  EXPECT_EQ(CoerceToText(Dec(12345, 0, 2, true), &t), S_OK);
  EXPECT_EQ(t, u"-123.45");
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
