// A C++ COM client of the registered WebQuorrel.dll, run under Wine by the Windows test stage.
//
//   webquorrel_client.exe "<connection string>"
//   webquorrel_client.exe --type-info <path of WebQuorrel.dll>
//
// It expects the class to be registered and the database to hold no presence record of this
// workstation. It creates the class by its ProgID, calls UpdateOnlineState through the function
// table and through IDispatch (with omitted, skipped and by-reference arguments), checks the
// DLL's resources, its type information and registered type library, and DllCanUnloadNow
// around the last release. With --type-info it loads the DLL itself, registered or not, and
// checks only the type information that IDispatch hands out.
// It prints one line per failed check and ends with "client checks=<n> failures=<m>".
// windows.h first: the OLE headers build on it.
// clang-format off
#include <windows.h>
#include <oleauto.h>
// clang-format on

#include <cstdio>
#include <cstring>
#include <string>

#include "type_info_check.h"
#include "webquorrel_h.h"

namespace {

int g_checks = 0;
int g_failures = 0;

}  // namespace

void Check(bool ok, const char* what, long detail) {
  ++g_checks;
  if (!ok) {
    ++g_failures;
    std::printf("FAIL %s (%ld / 0x%08lX)\n", what, detail, static_cast<unsigned long>(detail));
  }
}

namespace {

// Owns a BSTR.
class Bstr {
 public:
  explicit Bstr(const wchar_t* text) : value_(SysAllocString(text)) {}
  ~Bstr() { SysFreeString(value_); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  BSTR get() const { return value_; }
  BSTR* address() { return &value_; }

 private:
  BSTR value_;
};

using DllCanUnloadNowFn = HRESULT(STDAPICALLTYPE*)();
using DllGetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);

HMODULE Dll() { return GetModuleHandleW(L"WebQuorrel.dll"); }

HRESULT CanUnloadNow() {
  auto fn = reinterpret_cast<DllCanUnloadNowFn>(
      reinterpret_cast<void*>(GetProcAddress(Dll(), "DllCanUnloadNow")));
  return fn != nullptr ? fn() : E_FAIL;
}

// Calls UpdateOnlineState by name through IDispatch with args in call order (the last
// argument first in DISPPARAMS, as COM wants them). Returns the count, or -1 on failure.
long InvokeUpdate(IDispatch* dispatch, DISPID id, VARIANT* args, UINT count, const char* what) {
  VARIANT reversed[4];
  for (UINT i = 0; i < count; ++i) reversed[i] = args[count - 1 - i];
  DISPPARAMS params = {reversed, nullptr, count, 0};
  VARIANT result;
  VariantInit(&result);
  EXCEPINFO exception = {};
  UINT badArg = 0;
  const HRESULT hr = dispatch->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params,
                                      &result, &exception, &badArg);
  Check(SUCCEEDED(hr), what, hr);
  if (FAILED(hr)) return -1;
  VARIANT asLong;
  VariantInit(&asLong);
  const VARTYPE type = result.vt;
  const HRESULT changed = VariantChangeType(&asLong, &result, 0, VT_I4);
  VariantClear(&result);
  Check(SUCCEEDED(changed) && type == VT_I4, what, type);
  return SUCCEEDED(changed) ? asLong.lVal : -1;
}

VARIANT Missing() {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_ERROR;
  v.scode = DISP_E_PARAMNOTFOUND;
  return v;
}

void CheckResources() {
  HMODULE dll = Dll();
  HRSRC iid = FindResourceW(dll, MAKEINTRESOURCEW(1), L"_IID_CLSQUORREL");
  Check(iid != nullptr && SizeofResource(dll, iid) == 20, "resource _IID_CLSQUORREL 1 of 20 bytes");
  if (iid != nullptr) {
    const auto* bytes = static_cast<const unsigned char*>(LockResource(LoadResource(dll, iid)));
    DWORD length = 0;
    std::memcpy(&length, bytes, 4);
    Check(length == 16 && std::memcmp(bytes + 4, &IID__clsQuorrel, 16) == 0,
          "resource _IID_CLSQUORREL holds 16 and the interface identifier");
  }
  Check(FindResourceW(dll, MAKEINTRESOURCEW(1), L"TYPELIB") != nullptr, "resource TYPELIB 1");

  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(dll, path, MAX_PATH);
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(path, &ignored);
  std::string block(size, '\0');
  Check(size > 0 && GetFileVersionInfoW(path, 0, size, block.data()), "version block");
  if (size == 0) return;
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT fixedSize = 0;
  Check(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &fixedSize) &&
            fixed->dwFileVersionMS == 0x00010000 && fixed->dwFileVersionLS == 0 &&
            fixed->dwProductVersionMS == 0x00010000 && fixed->dwFileType == VFT_DLL &&
            fixed->dwFileOS == VOS__WINDOWS32,
        "fixed version 1.0.0.0, DLL, 32-bit Windows");
  const struct {
    const wchar_t* name;
    const wchar_t* value;
  } strings[] = {{L"FileVersion", L"1.00"},
                 {L"ProductVersion", L"1.00"},
                 {L"ProductName", L"webQuorrel"},
                 {L"InternalName", L"WebQuorrel"},
                 {L"OriginalFilename", L"WebQuorrel.dll"},
                 {L"OLESelfRegister", L""}};
  for (const auto& s : strings) {
    std::wstring key = std::wstring(L"\\StringFileInfo\\040904B0\\") + s.name;
    wchar_t* value = nullptr;
    UINT length = 0;
    const bool found =
        VerQueryValueW(block.data(), key.c_str(), reinterpret_cast<void**>(&value), &length);
    Check(found && value != nullptr && std::wcscmp(value, s.value) == 0, "version string");
  }
}

// The registered type library describes the interface as the clients rely on it, with the same
// dispatch identifier that the object's own GetIDsOfNames hands out.
void CheckTypeLibrary(DISPID objectDispId) {
  ITypeLib* lib = nullptr;
  HRESULT hr = LoadRegTypeLib(LIBID_webQuorrel, 1, 0, 0, &lib);
  Check(SUCCEEDED(hr), "registered type library 1.0 loads", hr);
  if (FAILED(hr)) return;
  TLIBATTR* libAttr = nullptr;
  lib->GetLibAttr(&libAttr);
  Check(libAttr->wMajorVerNum == 1 && libAttr->wMinorVerNum == 0 && libAttr->lcid == 0,
        "library version 1.0, locale 0");
  lib->ReleaseTLibAttr(libAttr);

  ITypeInfo* info = nullptr;
  hr = lib->GetTypeInfoOfGuid(IID__clsQuorrel, &info);
  Check(SUCCEEDED(hr), "type library holds _clsQuorrel", hr);
  if (SUCCEEDED(hr)) {
    TYPEATTR* attr = nullptr;
    info->GetTypeAttr(&attr);
    const WORD wanted = TYPEFLAG_FHIDDEN | TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE;
    Check(attr->typekind == TKIND_DISPATCH && (attr->wTypeFlags & wanted) == wanted,
          "_clsQuorrel is a hidden, dual, nonextensible dispatch interface", attr->wTypeFlags);
    info->ReleaseTypeAttr(attr);
    // The function-table side of the dual interface: automation compatible, one method after
    // IDispatch's, with SelfState, ModName and ModLogin optional.
    HREFTYPE tableRef = 0;
    ITypeInfo* table = nullptr;
    if (SUCCEEDED(info->GetRefTypeOfImplType(static_cast<UINT>(-1), &tableRef)) &&
        SUCCEEDED(info->GetRefTypeInfo(tableRef, &table))) {
      table->GetTypeAttr(&attr);
      Check(attr->typekind == TKIND_INTERFACE && (attr->wTypeFlags & TYPEFLAG_FOLEAUTOMATION) &&
                attr->cFuncs == 1,
            "_clsQuorrel's table is automation compatible with one method", attr->wTypeFlags);
      table->ReleaseTypeAttr(attr);
      FUNCDESC* func = nullptr;
      if (SUCCEEDED(table->GetFuncDesc(0, &func))) {
        Check(func->cParams == 5 &&
                  (func->lprgelemdescParam[1].paramdesc.wParamFlags & PARAMFLAG_FOPT) &&
                  (func->lprgelemdescParam[2].paramdesc.wParamFlags & PARAMFLAG_FHASDEFAULT) &&
                  (func->lprgelemdescParam[3].paramdesc.wParamFlags & PARAMFLAG_FHASDEFAULT) &&
                  (func->lprgelemdescParam[4].paramdesc.wParamFlags & PARAMFLAG_FRETVAL) &&
                  func->oVft == 7 * static_cast<short>(sizeof(void*)),
              "UpdateOnlineState follows IDispatch with its optional parameters", func->oVft);
        table->ReleaseFuncDesc(func);
      }
      table->Release();
    } else {
      Check(false, "_clsQuorrel has a function table");
    }
    LPOLESTR name = const_cast<LPOLESTR>(L"UpdateOnlineState");
    DISPID id = DISPID_UNKNOWN;
    info->GetIDsOfNames(&name, 1, &id);
    Check(id == objectDispId, "type library and object agree on the dispatch identifier", id);
    info->Release();
  }
  info = nullptr;
  Check(SUCCEEDED(lib->GetTypeInfoOfGuid(CLSID_clsQuorrel, &info)),
        "type library holds clsQuorrel");
  if (info != nullptr) info->Release();
  lib->Release();
}

// A second thread with an apartment of its own: it withdraws this workstation (every record of
// it goes), then ends, which releases its module state. Returns the count, or -1.
DWORD WINAPI WithdrawOnOwnThread(void* connection) {
  CoInitialize(nullptr);
  _clsQuorrel* quorrel = nullptr;
  long count = -1;
  if (SUCCEEDED(CoCreateInstance(CLSID_clsQuorrel, nullptr, CLSCTX_INPROC_SERVER, IID__clsQuorrel,
                                 reinterpret_cast<void**>(&quorrel)))) {
    quorrel->UpdateOnlineState(static_cast<BSTR>(connection), nullptr, nullptr, nullptr, &count);
    quorrel->Release();
  }
  CoUninitialize();
  return static_cast<DWORD>(count);
}

void CheckSecondThread(BSTR connection) {
  HANDLE thread = CreateThread(nullptr, 0, WithdrawOnOwnThread, connection, 0, nullptr);
  Check(thread != nullptr, "second thread starts");
  if (thread == nullptr) return;
  // A thread that cannot release its module state never ends.
  const DWORD waited = WaitForSingleObject(thread, 20000);
  Check(waited == WAIT_OBJECT_0, "a thread with module state ends");
  DWORD count = 0;
  GetExitCodeThread(thread, &count);
  Check(count == 0, "the second thread withdraws every record of this workstation: 0",
        static_cast<long>(count));
  CloseHandle(thread);
}

// The type information of an object made through the DLL's own class object, as a host that
// loads an unregistered DLL gets it.
void CheckUnregisteredTypeInfo(const wchar_t* path) {
  HMODULE dll = LoadLibraryW(path);
  Check(dll != nullptr, "the DLL loads", static_cast<long>(GetLastError()));
  if (dll == nullptr) return;
  auto getClassObject = reinterpret_cast<DllGetClassObjectFn>(
      reinterpret_cast<void*>(GetProcAddress(dll, "DllGetClassObject")));
  IClassFactory* factory = nullptr;
  IDispatch* dispatch = nullptr;
  HRESULT hr =
      getClassObject(CLSID_clsQuorrel, IID_IClassFactory, reinterpret_cast<void**>(&factory));
  if (SUCCEEDED(hr)) {
    hr = factory->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(&dispatch));
    factory->Release();
  }
  Check(SUCCEEDED(hr), "an object from the class object", hr);
  if (dispatch != nullptr) {
    CheckTypeInfo(dispatch);
    dispatch->Release();
  }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc == 3 && std::wcscmp(argv[1], L"--type-info") == 0) {
    CoInitialize(nullptr);
    CheckUnregisteredTypeInfo(argv[2]);
    CoUninitialize();
    std::printf("client checks=%d failures=%d\n", g_checks, g_failures);
    return g_failures == 0 ? 0 : 1;
  }
  if (argc != 2) {
    std::printf("usage: webquorrel_client \"<connection string>\" | --type-info <dll>\n");
    return 2;
  }
  Bstr connection(argv[1]);
  CoInitialize(nullptr);

  CLSID clsid = {};
  HRESULT hr = CLSIDFromProgID(L"webQuorrel.clsQuorrel", &clsid);
  Check(SUCCEEDED(hr) && IsEqualCLSID(clsid, CLSID_clsQuorrel), "ProgID names the class", hr);
  _clsQuorrel* quorrel = nullptr;
  hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID__clsQuorrel,
                        reinterpret_cast<void**>(&quorrel));
  Check(SUCCEEDED(hr) && quorrel != nullptr, "create by ProgID", hr);
  if (quorrel == nullptr) {
    std::printf("client checks=%d failures=%d\n", g_checks, g_failures);
    return 1;
  }

  // Through the function table: register, then withdraw with every optional pointer NULL.
  short state = 2;
  Bstr module(L"Client");
  VARIANT_BOOL login = VARIANT_TRUE;
  long count = -1;
  hr = quorrel->UpdateOnlineState(connection.get(), &state, module.address(), &login, &count);
  Check(hr == S_OK && count == 1, "table call registers: 1", count);
  Check(state == 2 && std::wcscmp(module.get(), L"Client") == 0 && login == VARIANT_TRUE,
        "table call leaves its by-reference arguments alone");
  count = -1;
  hr = quorrel->UpdateOnlineState(connection.get(), nullptr, nullptr, nullptr, &count);
  Check(hr == S_OK && count == 0, "table call with omitted optionals withdraws: 0", count);

  // Through IDispatch.
  IDispatch* dispatch = nullptr;
  hr = quorrel->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch));
  Check(SUCCEEDED(hr), "IDispatch", hr);
  DISPID id = DISPID_UNKNOWN;
  LPOLESTR name = const_cast<LPOLESTR>(L"updateonlinestate");
  hr = dispatch->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id);
  Check(SUCCEEDED(hr), "GetIDsOfNames ignores letter case", hr);

  VARIANT args[4];
  for (auto& a : args) VariantInit(&a);
  args[0].vt = VT_BSTR;
  args[0].bstrVal = connection.get();
  count = InvokeUpdate(dispatch, id, args, 1, "dispatch, connection only");
  Check(count == 0, "dispatch with the connection string only registers nothing: 0", count);
  args[1].vt = VT_I2;
  args[1].iVal = 2;
  args[2] = Missing();
  args[3] = Missing();
  count = InvokeUpdate(dispatch, id, args, 4, "dispatch, skipped");
  Check(count == 1, "dispatch with skipped ModName and ModLogin registers: 1", count);
  count = InvokeUpdate(dispatch, id, args, 2, "dispatch, two");
  Check(count == 1, "dispatch with two arguments re-registers: 1", count);

  // By-reference arguments, typed and wrapped in a VARIANT as script hosts pass variables.
  short byRefState = 2;
  Bstr byRefModule(L"Client");
  VARIANT_BOOL byRefLogin = VARIANT_FALSE;
  args[1].vt = VT_I2 | VT_BYREF;
  args[1].piVal = &byRefState;
  args[2].vt = VT_BSTR | VT_BYREF;
  args[2].pbstrVal = byRefModule.address();
  VARIANT inner;
  VariantInit(&inner);
  inner.vt = VT_BOOL;
  inner.boolVal = byRefLogin;
  args[3].vt = VT_VARIANT | VT_BYREF;
  args[3].pvarVal = &inner;
  // The module condition spares the record of module "" from the call before: 2 records.
  count = InvokeUpdate(dispatch, id, args, 4, "dispatch, by reference");
  Check(count == 2, "dispatch with by-reference variables in module Client: 2", count);
  Check(byRefState == 2 && std::wcscmp(byRefModule.get(), L"Client") == 0 && inner.vt == VT_BOOL &&
            inner.boolVal == VARIANT_FALSE,
        "dispatch leaves by-reference arguments alone");

  DISPID bogusId = 0;
  LPOLESTR bogus = const_cast<LPOLESTR>(L"NoSuchMethod");
  Check(dispatch->GetIDsOfNames(IID_NULL, &bogus, 1, LOCALE_USER_DEFAULT, &bogusId) ==
            DISP_E_UNKNOWNNAME,
        "GetIDsOfNames rejects an unknown name");

  CheckResources();
  CheckTypeInfo(dispatch);
  CheckTypeLibrary(id);

  auto getClassObject = reinterpret_cast<DllGetClassObjectFn>(
      reinterpret_cast<void*>(GetProcAddress(Dll(), "DllGetClassObject")));
  void* factory = nullptr;
  Check(getClassObject != nullptr && getClassObject(IID__clsQuorrel, IID_IClassFactory, &factory) ==
                                         CLASS_E_CLASSNOTAVAILABLE,
        "DllGetClassObject refuses a foreign class identifier");

  CheckSecondThread(connection.get());

  dispatch->Release();
  Check(CanUnloadNow() == S_FALSE, "DllCanUnloadNow is false while an object lives");
  quorrel->Release();
  Check(CanUnloadNow() == S_OK, "DllCanUnloadNow succeeds after the last release");
  // COM may now unload the DLL, this thread's module state with it. The first call marks the
  // DLL as unused, a later one unloads it.
  for (int i = 0; i < 20 && Dll() != nullptr; ++i) {
    CoFreeUnusedLibrariesEx(0, 0);
    Sleep(20);
  }
  Check(Dll() == nullptr, "COM unloads the DLL once it may");

  CoUninitialize();
  std::printf("client checks=%d failures=%d\n", g_checks, g_failures);
  return g_failures == 0 ? 0 : 1;
}
