#include "frame/coerce.h"

#include <cstring>

#include "frame/date_text.h"
#include "frame/number.h"

namespace wq::frame {
namespace {

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

}  // namespace

Text TextFromBstr(BSTR bstr) {
  if (bstr == nullptr) return Text();
  return Text(reinterpret_cast<const char16_t*>(bstr), SysStringLen(bstr));
}

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

namespace {

// An object argument stands for its default value (DISPID_VALUE), read once; a null object is
// malformed, an object without a readable plain value does not convert.
template <typename Coerce>
HRESULT WithDefaultValue(const VARIANT& object, Coerce coerce) {
  if (object.pdispVal == nullptr) return DISP_E_BADVARTYPE;
  DISPPARAMS none = {nullptr, nullptr, 0, 0};
  VARIANT value;
  VariantInit(&value);
  HRESULT hr = object.pdispVal->Invoke(DISPID_VALUE, IID_NULL, 0x0409, DISPATCH_PROPERTYGET, &none,
                                       &value, nullptr, nullptr);
  if (FAILED(hr) || value.vt == VT_DISPATCH || value.vt == VT_UNKNOWN || (value.vt & VT_BYREF)) {
    hr = DISP_E_TYPEMISMATCH;
  } else {
    hr = coerce(value);
  }
  VariantClear(&value);
  return hr;
}

}  // namespace

HRESULT CoerceToShort(const VARIANT& value, SHORT* out) {
  if (value.vt == VT_DISPATCH) {
    return WithDefaultValue(value, [out](const VARIANT& v) { return CoerceToShort(v, out); });
  }
  // Same width: the bits are taken as they are, as oleaut32 does.
  if (value.vt == VT_UI2) {
    *out = static_cast<SHORT>(value.uiVal);
    return S_OK;
  }
  Number n;
  if (const HRESULT hr = ToNumber(value, &n); FAILED(hr)) return hr;
  bool negative = false;
  uint64_t magnitude = 0;
  if (!RoundToInteger(n, &negative, &magnitude)) return DISP_E_OVERFLOW;
  // "&HFFFF" is -1: hexadecimal and octal text that fits 16 bits gives those bits.
  if (n.bits && magnitude <= 0xFFFF) {
    *out = static_cast<SHORT>(static_cast<uint16_t>(magnitude));
    return S_OK;
  }
  if (magnitude > (negative ? 32768u : 32767u)) return DISP_E_OVERFLOW;
  *out = static_cast<SHORT>(negative ? -static_cast<int32_t>(magnitude)
                                     : static_cast<int32_t>(magnitude));
  return S_OK;
}

HRESULT CoerceToBool(const VARIANT& value, VARIANT_BOOL* out) {
  if (value.vt == VT_DISPATCH) {
    return WithDefaultValue(value, [out](const VARIANT& v) { return CoerceToBool(v, out); });
  }
  if (value.vt == VT_BSTR) {
    // The words stand alone; numbers may have blanks around them.
    const Text word = TextFromBstr(value.bstrVal);
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
  *out = IsZero(n) ? VARIANT_FALSE : VARIANT_TRUE;
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
      // Without VARIANT_ALPHABOOL, oleaut32 writes a boolean as its number.
      *out = value.boolVal != VARIANT_FALSE ? u"-1" : u"0";
      return S_OK;
    case VT_DATE:
      return FormatDate(value.date, out);
    case VT_DISPATCH:
      return WithDefaultValue(value, [out](const VARIANT& v) { return CoerceToText(v, out); });
    default:
      break;
  }
  Number n;
  if (const HRESULT hr = ToNumber(value, &n); FAILED(hr)) return hr;
  *out = FormatNumber(n);
  return S_OK;
}

}  // namespace wq::frame
