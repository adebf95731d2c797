// The COM types the component frame is written against. On Windows these are the system's own
// headers. Elsewhere this file declares a stand-in with the same names and the same binary
// layout as Windows COM on the same processor, so that a host written in C against its own
// declarations of the COM ABI can load the shared object and call it. It is a seam, not a COM
// runtime: there is no CoCreateInstance, no marshalling and no type library support.
#pragma once

#if defined(_WIN32)

#include <objbase.h>
#include <oleauto.h>
#include <olectl.h>
#include <windows.h>

#else

#include <cstddef>
#include <cstdint>
#include <cstring>

// One calling convention on Linux; the macros exist so the frame's declarations read the same.
#define STDMETHODCALLTYPE
#define STDAPICALLTYPE
#define WINAPI
#define STDAPI extern "C" HRESULT STDAPICALLTYPE

// Windows' LONG and ULONG are 32 bits everywhere, unlike Linux long.
using HRESULT = int32_t;
using SCODE = int32_t;
using LONG = int32_t;
using ULONG = uint32_t;
using SHORT = int16_t;
using USHORT = uint16_t;
using WORD = uint16_t;
using DWORD = uint32_t;
using BYTE = uint8_t;
using CHAR = char;
using INT = int32_t;
using UINT = uint32_t;
using BOOL = int32_t;
using LONGLONG = int64_t;
using ULONGLONG = uint64_t;
using FLOAT = float;
using DOUBLE = double;
using DATE = double;
using PVOID = void*;
using LPVOID = void*;
using LCID = DWORD;
using DISPID = LONG;
using MEMBERID = DISPID;
using VARTYPE = uint16_t;
using VARIANT_BOOL = int16_t;
using OLECHAR = char16_t;
using LPOLESTR = OLECHAR*;
using LPCOLESTR = const OLECHAR*;
// A BSTR points at the first character; the 32-bit byte length sits just before it and a NUL
// follows the last character.
using BSTR = OLECHAR*;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif
#define VARIANT_TRUE ((VARIANT_BOOL)-1)
#define VARIANT_FALSE ((VARIANT_BOOL)0)

struct GUID {
  uint32_t Data1;
  uint16_t Data2;
  uint16_t Data3;
  uint8_t Data4[8];
};
using IID = GUID;
using CLSID = GUID;
using REFGUID = const GUID&;
using REFIID = const IID&;
using REFCLSID = const CLSID&;

inline bool IsEqualGUID(REFGUID a, REFGUID b) { return std::memcmp(&a, &b, sizeof(GUID)) == 0; }
inline bool IsEqualIID(REFIID a, REFIID b) { return IsEqualGUID(a, b); }
inline bool IsEqualCLSID(REFCLSID a, REFCLSID b) { return IsEqualGUID(a, b); }

inline constexpr GUID GUID_NULL = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};
#define IID_NULL GUID_NULL
#define CLSID_NULL GUID_NULL
inline constexpr IID IID_IUnknown = {
    0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr IID IID_IClassFactory = {
    0x00000001, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr IID IID_IDispatch = {
    0x00020400, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

// Result codes.
#define MAKE_HRESULT_WQ(v) (static_cast<HRESULT>(static_cast<uint32_t>(v)))
#define SUCCEEDED(hr) (static_cast<HRESULT>(hr) >= 0)
#define FAILED(hr) (static_cast<HRESULT>(hr) < 0)
#define S_OK MAKE_HRESULT_WQ(0x00000000)
#define S_FALSE MAKE_HRESULT_WQ(0x00000001)
#define E_NOTIMPL MAKE_HRESULT_WQ(0x80004001)
#define E_NOINTERFACE MAKE_HRESULT_WQ(0x80004002)
#define E_POINTER MAKE_HRESULT_WQ(0x80004003)
#define E_FAIL MAKE_HRESULT_WQ(0x80004005)
#define E_UNEXPECTED MAKE_HRESULT_WQ(0x8000FFFF)
#define E_OUTOFMEMORY MAKE_HRESULT_WQ(0x8007000E)
#define E_INVALIDARG MAKE_HRESULT_WQ(0x80070057)
#define CLASS_E_NOAGGREGATION MAKE_HRESULT_WQ(0x80040110)
#define CLASS_E_CLASSNOTAVAILABLE MAKE_HRESULT_WQ(0x80040111)
#define SELFREG_E_TYPELIB MAKE_HRESULT_WQ(0x80040200)
#define SELFREG_E_CLASS MAKE_HRESULT_WQ(0x80040201)
#define DISP_E_UNKNOWNINTERFACE MAKE_HRESULT_WQ(0x80020001)
#define DISP_E_MEMBERNOTFOUND MAKE_HRESULT_WQ(0x80020003)
#define DISP_E_PARAMNOTFOUND MAKE_HRESULT_WQ(0x80020004)
#define DISP_E_TYPEMISMATCH MAKE_HRESULT_WQ(0x80020005)
#define DISP_E_UNKNOWNNAME MAKE_HRESULT_WQ(0x80020006)
#define DISP_E_NONAMEDARGS MAKE_HRESULT_WQ(0x80020007)
#define DISP_E_BADVARTYPE MAKE_HRESULT_WQ(0x80020008)
#define DISP_E_EXCEPTION MAKE_HRESULT_WQ(0x80020009)
#define DISP_E_OVERFLOW MAKE_HRESULT_WQ(0x8002000A)
#define DISP_E_BADINDEX MAKE_HRESULT_WQ(0x8002000B)
#define DISP_E_BADPARAMCOUNT MAKE_HRESULT_WQ(0x8002000E)

// Dispatch identifiers and flags.
#define DISPID_UNKNOWN (-1)
#define DISPID_VALUE 0
#define DISPID_PROPERTYPUT (-3)
#define DISPATCH_METHOD 0x1
#define DISPATCH_PROPERTYGET 0x2
#define DISPATCH_PROPERTYPUT 0x4
#define DISPATCH_PROPERTYPUTREF 0x8

// Variant types the frame reads.
enum VARENUM : uint16_t {
  VT_EMPTY = 0,
  VT_NULL = 1,
  VT_I2 = 2,
  VT_I4 = 3,
  VT_R4 = 4,
  VT_R8 = 5,
  VT_CY = 6,
  VT_DATE = 7,
  VT_BSTR = 8,
  VT_DISPATCH = 9,
  VT_ERROR = 10,
  VT_BOOL = 11,
  VT_VARIANT = 12,
  VT_UNKNOWN = 13,
  VT_DECIMAL = 14,
  VT_I1 = 16,
  VT_UI1 = 17,
  VT_UI2 = 18,
  VT_UI4 = 19,
  VT_I8 = 20,
  VT_UI8 = 21,
  VT_INT = 22,
  VT_UINT = 23,
  VT_RECORD = 36,
  VT_ARRAY = 0x2000,
  VT_BYREF = 0x4000,
  VT_TYPEMASK = 0x0FFF,
};

struct IUnknown;
struct IDispatch;
struct ITypeInfo;
struct IRecordInfo;
struct SAFEARRAY;

// Currency: a 64-bit integer scaled by 10,000.
union CY {
  struct {
    ULONG Lo;
    LONG Hi;
  };
  LONGLONG int64;
};

// A 96-bit integer with a decimal scale and a sign (0x80 = negative).
struct DECIMAL {
  USHORT wReserved;
  BYTE scale;
  BYTE sign;
  ULONG Hi32;
  ULONGLONG Lo64;
};

struct VARIANT {
  union {
    struct {
      VARTYPE vt;
      WORD wReserved1;
      WORD wReserved2;
      WORD wReserved3;
      union {
        LONGLONG llVal;
        LONG lVal;
        BYTE bVal;
        SHORT iVal;
        FLOAT fltVal;
        DOUBLE dblVal;
        VARIANT_BOOL boolVal;
        SCODE scode;
        CY cyVal;
        DATE date;
        BSTR bstrVal;
        IUnknown* punkVal;
        IDispatch* pdispVal;
        SAFEARRAY* parray;
        BYTE* pbVal;
        SHORT* piVal;
        LONG* plVal;
        LONGLONG* pllVal;
        FLOAT* pfltVal;
        DOUBLE* pdblVal;
        VARIANT_BOOL* pboolVal;
        SCODE* pscode;
        CY* pcyVal;
        DATE* pdate;
        BSTR* pbstrVal;
        IUnknown** ppunkVal;
        IDispatch** ppdispVal;
        SAFEARRAY** pparray;
        VARIANT* pvarVal;
        PVOID byref;
        CHAR cVal;
        USHORT uiVal;
        ULONG ulVal;
        ULONGLONG ullVal;
        INT intVal;
        UINT uintVal;
        DECIMAL* pdecVal;
        CHAR* pcVal;
        USHORT* puiVal;
        ULONG* pulVal;
        ULONGLONG* pullVal;
        INT* pintVal;
        UINT* puintVal;
        struct {
          PVOID pvRecord;
          IRecordInfo* pRecInfo;
        };
      };
    };
    DECIMAL decVal;
  };
};
using VARIANTARG = VARIANT;

struct DISPPARAMS {
  VARIANTARG* rgvarg;
  DISPID* rgdispidNamedArgs;
  UINT cArgs;
  UINT cNamedArgs;
};

struct EXCEPINFO {
  WORD wCode;
  WORD wReserved;
  BSTR bstrSource;
  BSTR bstrDescription;
  BSTR bstrHelpFile;
  DWORD dwHelpContext;
  PVOID pvReserved;
  HRESULT(STDMETHODCALLTYPE* pfnDeferredFillIn)(EXCEPINFO*);
  SCODE scode;
};

// Interfaces, their methods in COM's function-table order. No virtual destructors: those would
// add slots that COM's function tables do not have.
struct IUnknown {
  virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) = 0;
  virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
  virtual ULONG STDMETHODCALLTYPE Release() = 0;
};

struct IClassFactory : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pUnkOuter, REFIID riid,
                                                   void** ppvObject) = 0;
  virtual HRESULT STDMETHODCALLTYPE LockServer(BOOL fLock) = 0;
};

struct IDispatch : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* pctinfo) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames,
                                                  LCID lcid, DISPID* rgDispId) = 0;
  virtual HRESULT STDMETHODCALLTYPE Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags,
                                           DISPPARAMS* pDispParams, VARIANT* pVarResult,
                                           EXCEPINFO* pExcepInfo, UINT* puArgErr) = 0;
};

// The BSTR and VARIANT functions of oleaut32 that the frame and its tests use.
extern "C" {
BSTR SysAllocString(const OLECHAR* psz);
BSTR SysAllocStringLen(const OLECHAR* pch, UINT cch);
void SysFreeString(BSTR bstr);
UINT SysStringLen(BSTR bstr);
UINT SysStringByteLen(BSTR bstr);
void VariantInit(VARIANTARG* pvarg);
HRESULT VariantClear(VARIANTARG* pvarg);
}

// The layout checks that make this a stand-in rather than a look-alike.
static_assert(sizeof(GUID) == 16);
static_assert(sizeof(HRESULT) == 4 && sizeof(LONG) == 4 && sizeof(ULONG) == 4);
static_assert(sizeof(SHORT) == 2 && sizeof(VARIANT_BOOL) == 2 && sizeof(OLECHAR) == 2);
static_assert(sizeof(CY) == 8 && sizeof(DECIMAL) == 16);
static_assert(sizeof(VARIANT) == (sizeof(void*) == 8 ? 24 : 16));
static_assert(offsetof(VARIANT, vt) == 0 && offsetof(VARIANT, lVal) == 8);
static_assert(offsetof(VARIANT, pRecInfo) == 8 + sizeof(void*));
static_assert(sizeof(DISPPARAMS) == 2 * sizeof(void*) + 8);
static_assert(offsetof(DISPPARAMS, cArgs) == 2 * sizeof(void*));
static_assert(sizeof(EXCEPINFO) == (sizeof(void*) == 8 ? 64 : 32));

#endif  // _WIN32
