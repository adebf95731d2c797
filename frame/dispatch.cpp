// clsQuorrel's IDispatch, written by hand: no type information is needed to call
// UpdateOnlineState by name, and the system's generic dispatch is not used (under Wine it
// mishandles omitted by-reference optionals). The type library describes the same ids. Arguments
// may come by position (last parameter first in rgvarg, as COM passes them), by name, or both;
// omitted optional ones take their defaults.
#include <new>

#include "frame/coerce.h"
#include "frame/descriptor.h"
#include "frame/quorrel.h"
#include "frame/type_info.h"

namespace wq::frame {
namespace {

constexpr const char16_t* kParamNames[kParamCount] = {u"gstrConnSystem", u"SelfState", u"ModName",
                                                      u"ModLogin"};

TextView NameView(LPOLESTR name) {
  if (name == nullptr) return {};
  const auto* p = reinterpret_cast<const char16_t*>(name);
  size_t n = 0;
  while (p[n] != u'\0') ++n;
  return TextView(p, n);
}

// The arguments of one call, taken from the dispatch parameters.
struct Arguments {
  Text conn;
  SHORT self_state = 0;
  Text mod_name;
  VARIANT_BOOL mod_login = VARIANT_FALSE;
};

HRESULT ReadArgument(int param, const VARIANT& value, Arguments* args) {
  switch (param) {
    case kParamConnSystem:
      return CoerceToText(value, &args->conn);
    case kParamSelfState:
      return CoerceToShort(value, &args->self_state);
    case kParamModName:
      return CoerceToText(value, &args->mod_name);
    default:
      return CoerceToBool(value, &args->mod_login);
  }
}

// Matches rgvarg to the parameters and reads each one. On a failure *bad_arg is the index in
// rgvarg of the argument at fault, or stays untouched when the fault is an absent argument.
HRESULT ReadArguments(const DISPPARAMS& params, Arguments* args, UINT* bad_arg) {
  if (params.cArgs > 0 && params.rgvarg == nullptr) return E_INVALIDARG;
  if (params.cNamedArgs > params.cArgs) return E_INVALIDARG;
  if (params.cNamedArgs > 0 && params.rgdispidNamedArgs == nullptr) return E_INVALIDARG;
  const UINT positional = params.cArgs - params.cNamedArgs;
  if (positional > kParamCount) return DISP_E_BADPARAMCOUNT;

  constexpr UINT kAbsent = UINT(-1);
  UINT slot[kParamCount] = {kAbsent, kAbsent, kAbsent, kAbsent};
  for (UINT i = 0; i < positional; ++i) slot[i] = params.cArgs - 1 - i;
  for (UINT j = 0; j < params.cNamedArgs; ++j) {
    const DISPID id = params.rgdispidNamedArgs[j];
    // An unknown name, or a parameter given twice.
    if (id < 0 || id >= kParamCount || slot[id] != kAbsent) {
      *bad_arg = j;
      return DISP_E_PARAMNOTFOUND;
    }
    slot[id] = j;
  }

  for (int param = 0; param < kParamCount; ++param) {
    if (slot[param] == kAbsent) {
      if (param == kParamConnSystem) return DISP_E_PARAMNOTFOUND;
      continue;
    }
    VARIANT value;
    HRESULT hr = Dereference(params.rgvarg[slot[param]], &value);
    if (SUCCEEDED(hr) && IsMissing(value)) {
      if (param != kParamConnSystem) continue;
      hr = DISP_E_PARAMNOTFOUND;
    }
    if (SUCCEEDED(hr)) hr = ReadArgument(param, value, args);
    if (FAILED(hr)) {
      *bad_arg = slot[param];
      return hr;
    }
  }
  return S_OK;
}

}  // namespace

HRESULT STDMETHODCALLTYPE clsQuorrel::GetTypeInfoCount(UINT* pctinfo) {
  if (pctinfo == nullptr) return E_INVALIDARG;
  *pctinfo = TypeInfoCount();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE clsQuorrel::GetTypeInfo(UINT iTInfo, LCID /*lcid*/, ITypeInfo** ppTInfo) {
  if (ppTInfo == nullptr) return E_POINTER;
  *ppTInfo = nullptr;
  // One locale-neutral description, the same for every lcid.
  if (iTInfo != 0) return DISP_E_BADINDEX;
  return QuorrelTypeInfo(ppTInfo);
}

HRESULT STDMETHODCALLTYPE clsQuorrel::GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames,
                                                    LCID /*lcid*/, DISPID* rgDispId) {
  if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  if (cNames == 0) return S_OK;
  if (rgszNames == nullptr || rgDispId == nullptr) return E_INVALIDARG;
  HRESULT hr = S_OK;
  const bool method = EqualsIgnoreCase(NameView(rgszNames[0]), u"UpdateOnlineState");
  rgDispId[0] = method ? kDispidUpdateOnlineState : DISPID_UNKNOWN;
  if (!method) hr = DISP_E_UNKNOWNNAME;
  for (UINT i = 1; i < cNames; ++i) {
    rgDispId[i] = DISPID_UNKNOWN;
    for (DISPID p = 0; method && p < kParamCount; ++p) {
      if (EqualsIgnoreCase(NameView(rgszNames[i]), kParamNames[p])) rgDispId[i] = p;
    }
    if (rgDispId[i] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
  }
  return hr;
}

HRESULT STDMETHODCALLTYPE clsQuorrel::Invoke(DISPID dispIdMember, REFIID riid, LCID /*lcid*/,
                                             WORD wFlags, DISPPARAMS* pDispParams,
                                             VARIANT* pVarResult, EXCEPINFO* /*pExcepInfo*/,
                                             UINT* puArgErr) {
  if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  if (dispIdMember != kDispidUpdateOnlineState) return DISP_E_MEMBERNOTFOUND;
  // A method: called as one, or read like a property (VBScript's "x = o.Method(...)").
  if (!(wFlags & DISPATCH_METHOD) || (wFlags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF))) {
    return DISP_E_MEMBERNOTFOUND;
  }
  if (pDispParams == nullptr) return E_INVALIDARG;

  Arguments args;
  constexpr UINT kNoArgument = UINT(-1);
  UINT bad_arg = kNoArgument;
  HRESULT hr;
  try {
    hr = ReadArguments(*pDispParams, &args, &bad_arg);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  if (FAILED(hr)) {
    if (puArgErr != nullptr && bad_arg != kNoArgument) *puArgErr = bad_arg;
    return hr;
  }

  const int32_t result =
      RunUpdateOnlineState(args.conn, args.self_state, args.mod_name, args.mod_login != 0);
  if (pVarResult != nullptr) {
    pVarResult->vt = VT_I4;
    pVarResult->lVal = result;
  }
  return S_OK;
}

}  // namespace wq::frame
