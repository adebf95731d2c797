// BSTR and VARIANT helpers of the Linux COM stand-in, laid out as oleaut32's: a 32-bit byte
// length, the UTF-16 characters, then a NUL; the BSTR points at the first character.
#include <cstdlib>
#include <cstring>

#include "platform/com/com.h"

namespace {

constexpr size_t kPrefix = sizeof(uint32_t);

uint32_t* LengthOf(BSTR bstr) {
  return reinterpret_cast<uint32_t*>(reinterpret_cast<char*>(bstr) - kPrefix);
}

}  // namespace

extern "C" {

BSTR SysAllocStringLen(const OLECHAR* pch, UINT cch) {
  // The byte length must fit the 32-bit prefix, with room for the prefix and the NUL.
  if (cch > (UINT32_MAX - kPrefix - sizeof(OLECHAR)) / sizeof(OLECHAR)) return nullptr;
  const size_t bytes = size_t{cch} * sizeof(OLECHAR);
  char* block = static_cast<char*>(std::malloc(kPrefix + bytes + sizeof(OLECHAR)));
  if (block == nullptr) return nullptr;
  const uint32_t length = static_cast<uint32_t>(bytes);
  std::memcpy(block, &length, kPrefix);
  BSTR bstr = reinterpret_cast<BSTR>(block + kPrefix);
  if (pch != nullptr) {
    std::memcpy(bstr, pch, bytes);
  } else {
    std::memset(bstr, 0, bytes);
  }
  bstr[cch] = u'\0';
  return bstr;
}

BSTR SysAllocString(const OLECHAR* psz) {
  if (psz == nullptr) return nullptr;
  UINT n = 0;
  while (psz[n] != u'\0') ++n;
  return SysAllocStringLen(psz, n);
}

void SysFreeString(BSTR bstr) {
  if (bstr != nullptr) std::free(LengthOf(bstr));
}

UINT SysStringByteLen(BSTR bstr) {
  if (bstr == nullptr) return 0;
  uint32_t length;
  std::memcpy(&length, LengthOf(bstr), kPrefix);
  return length;
}

UINT SysStringLen(BSTR bstr) { return SysStringByteLen(bstr) / sizeof(OLECHAR); }

void VariantInit(VARIANTARG* pvarg) {
  if (pvarg == nullptr) return;
  pvarg->vt = VT_EMPTY;
  pvarg->wReserved1 = pvarg->wReserved2 = pvarg->wReserved3 = 0;
}

HRESULT VariantClear(VARIANTARG* pvarg) {
  if (pvarg == nullptr) return E_INVALIDARG;
  if ((pvarg->vt & VT_BYREF) == 0) {
    switch (pvarg->vt) {
      case VT_BSTR:
        SysFreeString(pvarg->bstrVal);
        break;
      case VT_UNKNOWN:
      case VT_DISPATCH:
        if (pvarg->punkVal != nullptr) pvarg->punkVal->Release();
        break;
      default:
        if (pvarg->vt & VT_ARRAY) return DISP_E_BADVARTYPE;  // no SAFEARRAY support here
        break;
    }
  }
  pvarg->vt = VT_EMPTY;
  return S_OK;
}

}  // extern "C"
