#include "type_info_check.h"

#include <cwchar>

#include "webquorrel_h.h"

namespace {

constexpr USHORT kInOutOptional = PARAMFLAG_FIN | PARAMFLAG_FOUT | PARAMFLAG_FOPT;

// What the type library must say about each parameter of UpdateOnlineState.
struct ExpectedParam {
  const wchar_t* name;
  VARTYPE type;    // the pointed-to type when by reference
  bool reference;  // VT_PTR to type
  USHORT flags;
  VARTYPE default_type;  // VT_EMPTY: no default recorded
};

constexpr ExpectedParam kParams[] = {
    {L"gstrConnSystem", VT_BSTR, false, PARAMFLAG_FIN, VT_EMPTY},
    {L"SelfState", VT_I2, true, kInOutOptional, VT_EMPTY},
    {L"ModName", VT_BSTR, true, kInOutOptional | PARAMFLAG_FHASDEFAULT, VT_BSTR},
    {L"ModLogin", VT_BOOL, true, kInOutOptional | PARAMFLAG_FHASDEFAULT, VT_BOOL},
};

void CheckParam(const ELEMDESC& elem, const ExpectedParam& want) {
  const TYPEDESC& t = elem.tdesc;
  const bool typed = want.reference
                         ? t.vt == VT_PTR && t.lptdesc != nullptr && t.lptdesc->vt == want.type
                         : t.vt == want.type;
  Check(typed, "type information: parameter type", t.vt);
  Check(elem.paramdesc.wParamFlags == want.flags, "type information: parameter flags",
        elem.paramdesc.wParamFlags);
  if (want.default_type == VT_EMPTY) return;
  const PARAMDESCEX* ex = elem.paramdesc.pparamdescex;
  Check(ex != nullptr && ex->varDefaultValue.vt == want.default_type,
        "type information: default value's type", ex != nullptr ? ex->varDefaultValue.vt : -1);
  if (ex == nullptr || ex->varDefaultValue.vt != want.default_type) return;
  const VARIANT& value = ex->varDefaultValue;
  const bool empty = want.default_type == VT_BSTR ? SysStringLen(value.bstrVal) == 0
                                                  : value.boolVal == VARIANT_FALSE;
  Check(empty, "type information: default is the empty text or false");
}

void CheckFunction(ITypeInfo* info, DISPID method) {
  TYPEATTR* attr = nullptr;
  if (FAILED(info->GetTypeAttr(&attr))) return Check(false, "type information: attributes");
  Check(IsEqualGUID(attr->guid, IID__clsQuorrel) && attr->typekind == TKIND_DISPATCH &&
            attr->cFuncs == 8,  // IDispatch's seven, then UpdateOnlineState
        "type information describes the dispatch interface _clsQuorrel", attr->cFuncs);
  const WORD functions = attr->cFuncs;
  info->ReleaseTypeAttr(attr);
  FUNCDESC* func = nullptr;
  for (WORD i = 0; i < functions && func == nullptr; ++i) {
    if (SUCCEEDED(info->GetFuncDesc(i, &func)) && func->memid != method) {
      info->ReleaseFuncDesc(func);
      func = nullptr;
    }
  }
  Check(func != nullptr, "type information holds UpdateOnlineState under its dispatch id");
  if (func == nullptr) return;
  Check(func->funckind == FUNC_DISPATCH && func->invkind == INVOKE_FUNC && func->cParams == 4 &&
            func->cParamsOpt == 3 && func->elemdescFunc.tdesc.vt == VT_I4,
        "UpdateOnlineState: four parameters, three optional, and a 32-bit integer result",
        func->cParams);
  for (int i = 0; i < func->cParams && i < 4; ++i)
    CheckParam(func->lprgelemdescParam[i], kParams[i]);
  BSTR names[5] = {};
  UINT count = 0;
  info->GetNames(method, names, 5, &count);
  bool named = count == 5 && std::wcscmp(names[0], L"UpdateOnlineState") == 0;
  for (UINT i = 1; i < count && named; ++i) named = std::wcscmp(names[i], kParams[i - 1].name) == 0;
  Check(named, "type information names the method and its four parameters", count);
  for (BSTR name : names) SysFreeString(name);
  info->ReleaseFuncDesc(func);
}

}  // namespace

void CheckTypeInfo(IDispatch* dispatch) {
  UINT count = 0;
  Check(SUCCEEDED(dispatch->GetTypeInfoCount(&count)) && count == 1, "GetTypeInfoCount is 1",
        count);
  ITypeInfo* info = nullptr;
  ITypeInfo* again = nullptr;
  Check(dispatch->GetTypeInfo(1, 0, &again) == DISP_E_BADINDEX && again == nullptr,
        "GetTypeInfo refuses index 1");
  HRESULT hr = dispatch->GetTypeInfo(0, LOCALE_USER_DEFAULT, &info);
  Check(SUCCEEDED(hr) && info != nullptr, "GetTypeInfo(0)", hr);
  if (info == nullptr) return;
  dispatch->GetTypeInfo(0, 0x0409, &again);
  Check(again == info, "the type information is loaded once");
  if (again != nullptr) again->Release();

  // The type library and the hand-written GetIDsOfNames agree on every id.
  const wchar_t* names[5] = {L"UpdateOnlineState", L"gstrConnSystem", L"SelfState", L"ModName",
                             L"ModLogin"};
  DISPID fromInfo[5];
  DISPID fromObject[5];
  hr = info->GetIDsOfNames(const_cast<LPOLESTR*>(names), 5, fromInfo);
  Check(SUCCEEDED(hr), "ITypeInfo::GetIDsOfNames", hr);
  hr = dispatch->GetIDsOfNames(IID_NULL, const_cast<LPOLESTR*>(names), 5, 0, fromObject);
  Check(SUCCEEDED(hr), "IDispatch::GetIDsOfNames of the method and its parameters", hr);
  for (int i = 0; i < 5; ++i) {
    Check(fromInfo[i] == fromObject[i], "type library and object agree on a dispatch id", i);
  }
  CheckFunction(info, fromObject[0]);
  info->Release();
}
