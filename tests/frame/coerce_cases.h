// The table of client arguments and what they become as each parameter type, shared by the
// unit test (our coercion) and the Windows comparison run under Wine (our coercion next to
// oleaut32's VariantChangeTypeEx with locale 0x0409). Each case is also tried by reference
// (VT_BYREF) and inside a VT_VARIANT|VT_BYREF; the outcome must not change.
#pragma once

#include <cstdlib>
#include <cstring>
#include <string>

#include "frame/coerce.h"

namespace wq::frame::cases {

enum class Target { kShort, kBool, kText };

struct CoerceCase {
  VARTYPE vt;
  const char* source;    // numbers as decimal text (VT_CY in units, VT_BOOL -1/0, VT_ERROR scode)
  const char16_t* text;  // VT_BSTR's text
  Target target;
  HRESULT hr;
  const char16_t* result;  // oleaut32's value as text: "-1" for VARIANT_TRUE, the text for kText
};

constexpr HRESULT kOk = S_OK;
constexpr HRESULT kMismatch = DISP_E_TYPEMISMATCH;
constexpr HRESULT kOverflow = DISP_E_OVERFLOW;
constexpr HRESULT kBadType = DISP_E_BADVARTYPE;
constexpr Target S = Target::kShort;
constexpr Target B = Target::kBool;
constexpr Target T = Target::kText;

// clang-format off
inline constexpr CoerceCase kCases[] = {
    // Integers of every width, to a 16-bit SelfState.
    {VT_I1, "-5", nullptr, S, kOk, u"-5"},
    {VT_UI1, "200", nullptr, S, kOk, u"200"},
    {VT_I2, "-32768", nullptr, S, kOk, u"-32768"},
    {VT_UI2, "65535", nullptr, S, kOk, u"-1"},  // same width: the bits as they are
    {VT_I4, "32767", nullptr, S, kOk, u"32767"},
    {VT_I4, "32768", nullptr, S, kOverflow, nullptr},
    {VT_UI4, "4000000000", nullptr, S, kOverflow, nullptr},
    {VT_I8, "-9223372036854775808", nullptr, S, kOverflow, nullptr},
    {VT_I8, "-7", nullptr, S, kOk, u"-7"},
    {VT_UI8, "18446744073709551615", nullptr, S, kOverflow, nullptr},
    {VT_UI8, "12", nullptr, S, kOk, u"12"},
    // Fractions round half to even; currency is exact.
    {VT_R4, "2.5", nullptr, S, kOk, u"2"},
    {VT_R4, "3.5", nullptr, S, kOk, u"4"},
    {VT_R8, "-2.5", nullptr, S, kOk, u"-2"},
    {VT_R8, "2.5001", nullptr, S, kOk, u"3"},
    {VT_R8, "32767.5", nullptr, S, kOverflow, nullptr},
    {VT_R8, "-32768.5", nullptr, S, kOk, u"-32768"},
    {VT_CY, "25000", nullptr, S, kOk, u"2"},
    {VT_CY, "35000", nullptr, S, kOk, u"4"},
    {VT_CY, "25001", nullptr, S, kOk, u"3"},
    {VT_DATE, "1.5", nullptr, S, kOk, u"2"},
    {VT_BOOL, "-1", nullptr, S, kOk, u"-1"},
    {VT_EMPTY, nullptr, nullptr, S, kOk, u"0"},
    {VT_NULL, nullptr, nullptr, S, kMismatch, nullptr},
    {VT_ERROR, "-2147467259", nullptr, S, kMismatch, nullptr},
    {VT_DISPATCH, nullptr, nullptr, S, kBadType, nullptr},  // a null object
    {VT_DISPATCH, "7", nullptr, S, kOk, u"7"},  // an object whose default value is 7
    {VT_DISPATCH, "none", nullptr, S, kMismatch, nullptr},  // one without
    // Text read as a number.
    {VT_BSTR, nullptr, u"42", S, kOk, u"42"},
    {VT_BSTR, nullptr, u"  -7 ", S, kOk, u"-7"},
    {VT_BSTR, nullptr, u"1e3", S, kOk, u"1000"},
    {VT_BSTR, nullptr, u"2.5", S, kOk, u"2"},
    {VT_BSTR, nullptr, u"&H10", S, kOk, u"16"},
    {VT_BSTR, nullptr, u"&O17", S, kOk, u"15"},
    {VT_BSTR, nullptr, u"&H8000", S, kOk, u"-32768"},
    {VT_BSTR, nullptr, u"&HFFFF", S, kOk, u"-1"},
    {VT_BSTR, nullptr, u"5-", S, kOk, u"-5"},
    {VT_BSTR, nullptr, u"(5)", S, kOk, u"-5"},
    {VT_BSTR, nullptr, u"$5", S, kOk, u"5"},
    {VT_BSTR, nullptr, u"1,0", S, kOk, u"10"},
    {VT_BSTR, nullptr, u"1,000", S, kOk, u"1000"},
    {VT_BSTR, nullptr, u"40000", S, kOverflow, nullptr},
    {VT_BSTR, nullptr, u"", S, kMismatch, nullptr},
    {VT_BSTR, nullptr, u"   ", S, kMismatch, nullptr},
    {VT_BSTR, nullptr, u"abc", S, kMismatch, nullptr},
    {VT_BSTR, nullptr, u"True", S, kMismatch, nullptr},
    {VT_BSTR, nullptr, u"0x10", S, kMismatch, nullptr},
    // To a boolean ModLogin.
    {VT_I4, "0", nullptr, B, kOk, u"0"},
    {VT_I4, "5", nullptr, B, kOk, u"-1"},
    {VT_R8, "0.1", nullptr, B, kOk, u"-1"},
    {VT_CY, "0", nullptr, B, kOk, u"0"},
    {VT_UI8, "18446744073709551615", nullptr, B, kOk, u"-1"},
    {VT_DATE, "0", nullptr, B, kOk, u"0"},
    {VT_EMPTY, nullptr, nullptr, B, kOk, u"0"},
    {VT_NULL, nullptr, nullptr, B, kMismatch, nullptr},
    {VT_DISPATCH, nullptr, nullptr, B, kBadType, nullptr},
    {VT_DISPATCH, "7", nullptr, B, kOk, u"-1"},
    {VT_BSTR, nullptr, u"True", B, kOk, u"-1"},
    {VT_BSTR, nullptr, u"false", B, kOk, u"0"},
    {VT_BSTR, nullptr, u"TRUE", B, kOk, u"-1"},
    {VT_BSTR, nullptr, u" True ", B, kMismatch, nullptr},  // words take no blanks
    {VT_BSTR, nullptr, u"-1", B, kOk, u"-1"},
    {VT_BSTR, nullptr, u"0", B, kOk, u"0"},
    {VT_BSTR, nullptr, u"2.5", B, kOk, u"-1"},
    {VT_BSTR, nullptr, u"&H10", B, kOk, u"-1"},
    {VT_BSTR, nullptr, u"yes", B, kMismatch, nullptr},
    {VT_BSTR, nullptr, u"", B, kMismatch, nullptr},
    // To text: gstrConnSystem and ModName.
    {VT_I4, "-12", nullptr, T, kOk, u"-12"},
    {VT_UI8, "18446744073709551615", nullptr, T, kOk, u"18446744073709551615"},
    {VT_R4, "0.1", nullptr, T, kOk, u"0.1"},
    {VT_R8, "0.1", nullptr, T, kOk, u"0.1"},
    {VT_R8, "1e20", nullptr, T, kOk, u"1E+20"},
    {VT_R8, "0.3333333333333333", nullptr, T, kOk, u"0.333333333333333"},
    {VT_R8, "-2.5", nullptr, T, kOk, u"-2.5"},
    {VT_CY, "15000", nullptr, T, kOk, u"1.5"},
    {VT_CY, "-1", nullptr, T, kOk, u"-0.0001"},
    {VT_DATE, "36526.5", nullptr, T, kOk, u"1/1/2000 12:00:00 PM"},
    {VT_DATE, "36526", nullptr, T, kOk, u"1/1/2000"},
    {VT_DATE, "0.75", nullptr, T, kOk, u"6:00:00 PM"},
    {VT_DATE, "0", nullptr, T, kOk, u"12:00:00 AM"},
    {VT_DATE, "-1.25", nullptr, T, kOk, u"12/29/1899 6:00:00 AM"},
    {VT_DATE, "1e10", nullptr, T, E_INVALIDARG, nullptr},
    {VT_BOOL, "-1", nullptr, T, kOk, u"-1"},
    {VT_BOOL, "0", nullptr, T, kOk, u"0"},
    {VT_EMPTY, nullptr, nullptr, T, kOk, u""},
    {VT_NULL, nullptr, nullptr, T, kMismatch, nullptr},
    {VT_ERROR, "-2147467259", nullptr, T, kMismatch, nullptr},
    {VT_DISPATCH, nullptr, nullptr, T, kBadType, nullptr},
    {VT_DISPATCH, "7", nullptr, T, kOk, u"7"},
    {VT_BSTR, nullptr, u" a\tb ", T, kOk, u" a\tb "},
};
// clang-format on

// An object argument: its default value (DISPID_VALUE) is a 32-bit integer, or it has none.
class ValueObject final : public IDispatch {
 public:
  ValueObject(bool has_value, LONG value) : has_value_(has_value), value_(value) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IDispatch)) {
      *out = nullptr;
      return E_NOINTERFACE;
    }
    *out = this;
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 1; }  // lives as long as its case
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return DISP_E_UNKNOWNNAME;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS*,
                                   VARIANT* result, EXCEPINFO*, UINT*) override {
    if (!has_value_ || id != DISPID_VALUE || !(flags & DISPATCH_PROPERTYGET)) {
      return DISP_E_MEMBERNOTFOUND;
    }
    if (result != nullptr) {
      result->vt = VT_I4;
      result->lVal = value_;
    }
    return S_OK;
  }

 private:
  bool has_value_;
  LONG value_;
};

// A case's argument, and the storage its by-reference forms point at.
class CaseArgument {
 public:
  explicit CaseArgument(const CoerceCase& c)
      : object_(c.source != nullptr && std::strcmp(c.source, "none") != 0,
                c.source != nullptr ? std::strtol(c.source, nullptr, 10) : 0) {
    std::memset(&value_, 0, sizeof value_);
    const char* s = c.source != nullptr ? c.source : "0";
    switch (c.vt) {
      case VT_I1:
        value_.cVal = static_cast<char>(std::strtol(s, nullptr, 10));
        break;
      case VT_UI1:
        value_.bVal = static_cast<BYTE>(std::strtoul(s, nullptr, 10));
        break;
      case VT_I2:
      case VT_BOOL:
        value_.iVal = static_cast<SHORT>(std::strtol(s, nullptr, 10));
        break;
      case VT_UI2:
        value_.uiVal = static_cast<USHORT>(std::strtoul(s, nullptr, 10));
        break;
      case VT_I4:
      case VT_ERROR:
        value_.lVal = static_cast<LONG>(std::strtoll(s, nullptr, 10));
        break;
      case VT_UI4:
        value_.ulVal = static_cast<ULONG>(std::strtoull(s, nullptr, 10));
        break;
      case VT_I8:
      case VT_CY:
        value_.llVal = std::strtoll(s, nullptr, 10);
        break;
      case VT_UI8:
        value_.ullVal = std::strtoull(s, nullptr, 10);
        break;
      case VT_R4:
        value_.fltVal = std::strtof(s, nullptr);
        break;
      case VT_R8:
      case VT_DATE:
        value_.dblVal = std::strtod(s, nullptr);
        break;
      case VT_BSTR:
        value_.bstrVal = SysAllocString(reinterpret_cast<const OLECHAR*>(c.text));
        break;
      case VT_DISPATCH:
        value_.pdispVal = c.source != nullptr ? &object_ : nullptr;
        break;
      default:
        break;  // VT_EMPTY, VT_NULL
    }
    value_.vt = c.vt;
  }
  ~CaseArgument() {
    if (value_.vt == VT_BSTR) SysFreeString(value_.bstrVal);
  }
  CaseArgument(const CaseArgument&) = delete;
  CaseArgument& operator=(const CaseArgument&) = delete;

  // The three forms a client may send: 0 by value, 1 by reference, 2 inside a variant
  // reference. VT_EMPTY and VT_NULL have no by-reference form.
  bool HasForm(int form) const {
    return form != 1 || (value_.vt != VT_EMPTY && value_.vt != VT_NULL);
  }
  VARIANT Form(int form) {
    VARIANT v;
    std::memset(&v, 0, sizeof v);
    if (form == 0) return value_;
    if (form == 1) {
      v.vt = static_cast<VARTYPE>(value_.vt | VT_BYREF);
      v.byref = &value_.lVal;  // every scalar member starts there
    } else {
      v.vt = VT_VARIANT | VT_BYREF;
      v.pvarVal = &value_;
    }
    return v;
  }

 private:
  ValueObject object_;
  VARIANT value_;
};

inline const char* FormName(int form) {
  return form == 0 ? "by value" : form == 1 ? "by reference" : "in a variant reference";
}

// Our coercion of one argument, as Invoke reads it; *result is the value as the table writes it.
inline HRESULT CoerceOurs(const VARIANT& arg, Target target, Text* result) {
  VARIANT value;
  HRESULT hr = Dereference(arg, &value);
  if (FAILED(hr)) return hr;
  if (target == Target::kText) return CoerceToText(value, result);
  SHORT number = 0;
  VARIANT_BOOL flag = 0;
  hr = target == Target::kShort ? CoerceToShort(value, &number) : CoerceToBool(value, &flag);
  const std::string digits = std::to_string(target == Target::kShort ? number : flag);
  if (SUCCEEDED(hr)) *result = Text(digits.begin(), digits.end());
  return hr;
}

}  // namespace wq::frame::cases
