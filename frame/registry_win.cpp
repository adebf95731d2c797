// Self-registration on Windows: the type library from this DLL's own resource, then the class
// and ProgID entries under HKEY_CLASSES_ROOT. Registering the type library also registers the
// interface for the standard automation marshaller.
#include <windows.h>
#include <oleauto.h>
#include <olectl.h>

#include <cwchar>
#include <string>

#include "frame/descriptor.h"
#include "frame/registry.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace wq::frame {
namespace {

#ifdef _WIN64
constexpr SYSKIND kSysKind = SYS_WIN64;
#else
constexpr SYSKIND kSysKind = SYS_WIN32;
#endif

// The full path of this DLL, however long.
std::wstring ModulePath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(reinterpret_cast<HMODULE>(&__ImageBase), path.data(),
                                       static_cast<DWORD>(path.size()));
    if (n == 0) return {};
    if (n < path.size()) {
      path.resize(n);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

std::wstring GuidText(const GUID& guid) {
  wchar_t text[40] = {};
  StringFromGUID2(guid, text, 40);
  return text;
}

const wchar_t* Wide(const char16_t* text) { return reinterpret_cast<const wchar_t*>(text); }

// Writes HKCR\<key> with its default value and an optional named value.
bool WriteKey(const std::wstring& key, const std::wstring& value, const wchar_t* name = nullptr,
              const std::wstring& namedValue = {}) {
  HKEY handle = nullptr;
  if (RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_SET_VALUE, nullptr, &handle, nullptr) != ERROR_SUCCESS) {
    return false;
  }
  auto set = [&](const wchar_t* valueName, const std::wstring& data) {
    return RegSetValueExW(handle, valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                          static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t))) ==
           ERROR_SUCCESS;
  };
  bool ok = set(nullptr, value);
  if (ok && name != nullptr) ok = set(name, namedValue);
  RegCloseKey(handle);
  return ok;
}

// Removes HKCR\<key> with everything below it; a key that is not there is no failure.
bool DeleteTree(const std::wstring& key) {
  const LSTATUS status = RegDeleteTreeW(HKEY_CLASSES_ROOT, key.c_str());
  if (status == ERROR_FILE_NOT_FOUND) return true;
  if (status != ERROR_SUCCESS) return false;
  // RegDeleteTreeW empties the key; older systems leave the key itself behind.
  const LSTATUS removed = RegDeleteKeyW(HKEY_CLASSES_ROOT, key.c_str());
  return removed == ERROR_SUCCESS || removed == ERROR_FILE_NOT_FOUND;
}

// "webQuorrel.clsQuorrel": the project name, a full stop and the class name.
std::wstring ProgId(const ComponentDescriptor& component) {
  return std::wstring(Wide(component.project)) + L"." + Wide(component.quorrel.name);
}

std::wstring Version(const ComponentDescriptor& component) {
  return std::to_wstring(component.library_major) + L"." +
         std::to_wstring(component.library_minor);
}

// Whether TypeLib\{libid}\<major>.<minor>\<lcid>\win32|win64 exists.
bool TypeLibRegistered(const ComponentDescriptor& component) {
  wchar_t lcid[16] = {};
  swprintf(lcid, 16, L"%lx", static_cast<unsigned long>(component.library_lcid));
  const std::wstring key = L"TypeLib\\" + GuidText(component.library_id) + L"\\" +
                           Version(component) + L"\\" + lcid +
                           (kSysKind == SYS_WIN64 ? L"\\win64" : L"\\win32");
  HKEY handle = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) {
    return false;
  }
  RegCloseKey(handle);
  return true;
}

}  // namespace

HRESULT RegisterServer(const ComponentDescriptor& component) {
  std::wstring path = ModulePath();
  if (path.empty()) return SELFREG_E_CLASS;

  ITypeLib* typeLib = nullptr;
  if (FAILED(LoadTypeLibEx(path.c_str(), REGKIND_NONE, &typeLib))) return SELFREG_E_TYPELIB;
  const HRESULT registered = RegisterTypeLib(typeLib, path.data(), nullptr);
  typeLib->Release();
  if (FAILED(registered)) return SELFREG_E_TYPELIB;

  const std::wstring progId = ProgId(component);
  const std::wstring clsid = GuidText(component.quorrel.clsid);
  const std::wstring classKey = L"CLSID\\" + clsid;
  const bool ok =
      WriteKey(classKey, progId) &&
      WriteKey(classKey + L"\\InprocServer32", path, L"ThreadingModel", L"Apartment") &&
      WriteKey(classKey + L"\\ProgID", progId) &&
      WriteKey(classKey + L"\\TypeLib", GuidText(component.library_id)) &&
      WriteKey(classKey + L"\\VERSION", Version(component)) && WriteKey(progId, progId) &&
      WriteKey(progId + L"\\CLSID", clsid);
  return ok ? S_OK : SELFREG_E_CLASS;
}

HRESULT UnregisterServer(const ComponentDescriptor& component) {
  bool ok = DeleteTree(ProgId(component));
  ok = DeleteTree(L"CLSID\\" + GuidText(component.quorrel.clsid)) && ok;

  // A library that is not registered for this platform is already what was asked for.
  if (TypeLibRegistered(component) &&
      FAILED(UnRegisterTypeLib(component.library_id, component.library_major,
                               component.library_minor, component.library_lcid, kSysKind))) {
    return SELFREG_E_TYPELIB;
  }
  // The interface entry goes with the library; remove what a partial registration left.
  ok = DeleteTree(L"Interface\\" + GuidText(component.quorrel.default_interface)) && ok;
  return ok ? S_OK : SELFREG_E_CLASS;
}

}  // namespace wq::frame
