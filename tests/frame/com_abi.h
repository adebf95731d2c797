/* The COM binary interface as a host written in C sees it, declared here from COM's published
 * layout and independently of the component's own headers: if the component's stand-in types
 * drifted from COM's layout, calls made through these declarations would fail. */
#ifndef WQ_TESTS_FRAME_COM_ABI_H
#define WQ_TESTS_FRAME_COM_ABI_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef int32_t abi_hresult;
typedef uint16_t abi_olechar;
typedef abi_olechar* abi_bstr; /* 32-bit byte length before the first unit, NUL after the last */

typedef struct abi_guid {
  uint32_t data1;
  uint16_t data2;
  uint16_t data3;
  uint8_t data4[8];
} abi_guid;

enum {
  ABI_VT_EMPTY = 0,
  ABI_VT_NULL = 1,
  ABI_VT_I2 = 2,
  ABI_VT_I4 = 3,
  ABI_VT_R4 = 4,
  ABI_VT_R8 = 5,
  ABI_VT_CY = 6,
  ABI_VT_DATE = 7,
  ABI_VT_BSTR = 8,
  ABI_VT_DISPATCH = 9,
  ABI_VT_ERROR = 10,
  ABI_VT_BOOL = 11,
  ABI_VT_VARIANT = 12,
  ABI_VT_UNKNOWN = 13,
  ABI_VT_DECIMAL = 14,
  ABI_VT_I1 = 16,
  ABI_VT_UI1 = 17,
  ABI_VT_UI2 = 18,
  ABI_VT_UI4 = 19,
  ABI_VT_I8 = 20,
  ABI_VT_UI8 = 21,
  ABI_VT_ARRAY = 0x2000,
  ABI_VT_BYREF = 0x4000
};

typedef struct abi_variant {
  uint16_t vt;
  uint16_t reserved1, reserved2, reserved3;
  union {
    int64_t llVal;
    int32_t lVal;
    uint8_t bVal;
    int16_t iVal;
    float fltVal;
    double dblVal;
    int16_t boolVal;
    int32_t scode;
    int64_t cyVal;
    abi_bstr bstrVal;
    void* byref;
    int16_t* piVal;
    int32_t* plVal;
    abi_bstr* pbstrVal;
    int16_t* pboolVal;
    struct abi_variant* pvarVal;
    struct {
      void* record;
      void* record_info;
    } rec;
  } u;
} abi_variant;

typedef struct abi_dispparams {
  abi_variant* rgvarg;
  int32_t* rgdispidNamedArgs;
  uint32_t cArgs;
  uint32_t cNamedArgs;
} abi_dispparams;

typedef struct abi_excepinfo {
  uint16_t wCode;
  uint16_t wReserved;
  abi_bstr bstrSource;
  abi_bstr bstrDescription;
  abi_bstr bstrHelpFile;
  uint32_t dwHelpContext;
  void* pvReserved;
  void* pfnDeferredFillIn;
  int32_t scode;
} abi_excepinfo;

/* Interfaces: a pointer to a function table whose entries take the object first. */
typedef struct abi_unknown abi_unknown;
typedef struct abi_unknown_vtbl {
  abi_hresult (*QueryInterface)(abi_unknown* self, const abi_guid* riid, void** ppv);
  uint32_t (*AddRef)(abi_unknown* self);
  uint32_t (*Release)(abi_unknown* self);
} abi_unknown_vtbl;
struct abi_unknown {
  const abi_unknown_vtbl* vtbl;
};

typedef struct abi_class_factory abi_class_factory;
typedef struct abi_class_factory_vtbl {
  abi_hresult (*QueryInterface)(abi_class_factory* self, const abi_guid* riid, void** ppv);
  uint32_t (*AddRef)(abi_class_factory* self);
  uint32_t (*Release)(abi_class_factory* self);
  abi_hresult (*CreateInstance)(abi_class_factory* self, abi_unknown* outer, const abi_guid* riid,
                                void** ppv);
  abi_hresult (*LockServer)(abi_class_factory* self, int32_t lock);
} abi_class_factory_vtbl;
struct abi_class_factory {
  const abi_class_factory_vtbl* vtbl;
};

/* _clsQuorrel: IDispatch's seven entries, then UpdateOnlineState. */
typedef struct abi_quorrel abi_quorrel;
typedef struct abi_quorrel_vtbl {
  abi_hresult (*QueryInterface)(abi_quorrel* self, const abi_guid* riid, void** ppv);
  uint32_t (*AddRef)(abi_quorrel* self);
  uint32_t (*Release)(abi_quorrel* self);
  abi_hresult (*GetTypeInfoCount)(abi_quorrel* self, uint32_t* count);
  abi_hresult (*GetTypeInfo)(abi_quorrel* self, uint32_t index, uint32_t lcid, void** info);
  abi_hresult (*GetIDsOfNames)(abi_quorrel* self, const abi_guid* riid, abi_olechar** names,
                               uint32_t count, uint32_t lcid, int32_t* ids);
  abi_hresult (*Invoke)(abi_quorrel* self, int32_t member, const abi_guid* riid, uint32_t lcid,
                        uint16_t flags, abi_dispparams* params, abi_variant* result,
                        abi_excepinfo* excepinfo, uint32_t* arg_err);
  abi_hresult (*UpdateOnlineState)(abi_quorrel* self, abi_bstr conn, int16_t* self_state,
                                   abi_bstr* mod_name, int16_t* mod_login, int32_t* result);
} abi_quorrel_vtbl;
struct abi_quorrel {
  const abi_quorrel_vtbl* vtbl;
};

#define ABI_S_OK ((abi_hresult)0)
#define ABI_S_FALSE ((abi_hresult)1)
#define ABI_E_NOINTERFACE ((abi_hresult)0x80004002u)
#define ABI_E_POINTER ((abi_hresult)0x80004003u)
#define ABI_CLASS_E_NOAGGREGATION ((abi_hresult)0x80040110u)
#define ABI_CLASS_E_CLASSNOTAVAILABLE ((abi_hresult)0x80040111u)
#define ABI_DISP_E_UNKNOWNINTERFACE ((abi_hresult)0x80020001u)
#define ABI_DISP_E_MEMBERNOTFOUND ((abi_hresult)0x80020003u)
#define ABI_DISP_E_PARAMNOTFOUND ((abi_hresult)0x80020004u)
#define ABI_DISP_E_TYPEMISMATCH ((abi_hresult)0x80020005u)
#define ABI_DISP_E_UNKNOWNNAME ((abi_hresult)0x80020006u)
#define ABI_DISP_E_BADVARTYPE ((abi_hresult)0x80020008u)
#define ABI_DISP_E_OVERFLOW ((abi_hresult)0x8002000Au)
#define ABI_DISP_E_BADPARAMCOUNT ((abi_hresult)0x8002000Eu)
#define ABI_DISPATCH_METHOD 1
#define ABI_DISPATCH_PROPERTYGET 2
#define ABI_DISPID_UNKNOWN (-1)

#ifdef __cplusplus
}
#endif

#endif
