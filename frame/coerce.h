// Reading dispatch arguments: by-reference variants are followed, then the value is coerced to
// the parameter's type the way oleaut32's VariantChangeTypeEx does for English (United States)
// without flags (numbers round half to even, text is parsed as a number, "True"/"False" are
// booleans, booleans become "-1"/"0", dates "M/D/YYYY h:mm:ss AM", objects their default
// value). The same code runs on every platform; the Windows stage compares it with oleaut32.
//
// Each function returns S_OK with the value, or DISP_E_TYPEMISMATCH (cannot be read as that
// type: null, arrays, errors, text that is no number), DISP_E_OVERFLOW (a number out of the
// type's range) or DISP_E_BADVARTYPE (a malformed variant: unknown type, a null object, a
// by-reference variant without a target, a by-reference variant pointing at another one).
#pragma once

#include "platform/com/com.h"
#include "platform/text/text.h"

namespace wq::frame {

// A BSTR's text: its counted characters (embedded NULs included); NULL is the empty text.
Text TextFromBstr(BSTR bstr);

// A by-value copy of what arg holds, following VT_BYREF (and VT_VARIANT|VT_BYREF) once.
// The copy shares any BSTR with the original; nothing is allocated.
HRESULT Dereference(const VARIANT& arg, VARIANT* value);

// True for the dispatch marker of an omitted argument: VT_ERROR with DISP_E_PARAMNOTFOUND.
bool IsMissing(const VARIANT& value);

// These take a dereferenced value. VT_EMPTY gives 0, false and the empty text.
HRESULT CoerceToShort(const VARIANT& value, SHORT* out);
HRESULT CoerceToBool(const VARIANT& value, VARIANT_BOOL* out);
HRESULT CoerceToText(const VARIANT& value, Text* out);

}  // namespace wq::frame
