// Self-registration on Windows. The type library is registered from this DLL's own resource;
// that also registers the interface for the standard automation marshaller. The ProgID and the
// class entry are then written below HKEY_CLASSES_ROOT as RegistrationValues lists them.
// Unregistering while the other architecture's DLL is registered too removes only this
// architecture's entries; the shared ProgID and type library entries stay for the other.
// windows.h first: the OLE headers build on it.
// clang-format off
#include <windows.h>
#include <oleauto.h>
#include <olectl.h>
// clang-format on

#include <string>
#include <vector>

#include "frame/descriptor.h"
#include "frame/module_win.h"
#include "frame/registry.h"

namespace wq::frame {
namespace {

#ifdef _WIN64
constexpr SYSKIND kSysKind = SYS_WIN64;
constexpr char16_t kPlatform[] = u"win64";
#else
constexpr SYSKIND kSysKind = SYS_WIN32;
constexpr char16_t kPlatform[] = u"win32";
#endif

std::wstring Wide(const Text& text) { return std::wstring(text.begin(), text.end()); }
Text FromWide(const std::wstring& text) { return Text(text.begin(), text.end()); }

// The keys this file writes itself: the ProgID's and the class entry's. The interface and
// type library entries are RegisterTypeLib's.
bool WrittenHere(const RegistryValue& value) {
  const Text classKey = u"CLSID\\" + GuidText(kComponent.quorrel.clsid);
  auto below = [&](const Text& root) {
    return value.key == root || value.key.rfind(root + u"\\", 0) == 0;
  };
  return below(kProgId) || below(classKey);
}

bool WriteValue(const RegistryValue& value) {
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CLASSES_ROOT, Wide(value.key).c_str(), 0, nullptr,
                      REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr, &key,
                      nullptr) != ERROR_SUCCESS) {
    return false;
  }
  const std::wstring data = Wide(value.data);
  const LSTATUS status =
      RegSetValueExW(key, value.name.empty() ? nullptr : Wide(value.name).c_str(), 0, REG_SZ,
                     reinterpret_cast<const BYTE*>(data.c_str()),
                     static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(key);
  return status == ERROR_SUCCESS;
}

// Removes a key below HKEY_CLASSES_ROOT with everything in it; a missing key is no failure.
bool DeleteTree(const Text& key) {
  const LSTATUS status = RegDeleteTreeW(HKEY_CLASSES_ROOT, Wide(key).c_str());
  if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) return false;
  // RegDeleteTreeW empties the key; the key itself goes with RegDeleteKeyW.
  const LSTATUS removed = RegDeleteKeyW(HKEY_CLASSES_ROOT, Wide(key).c_str());
  return removed == ERROR_SUCCESS || removed == ERROR_FILE_NOT_FOUND;
}

// TypeLib\{id}\<major>.<minor>, and below it <lcid>\<platform>, this DLL's file entry.
Text LibraryVersionKey() {
  return u"TypeLib\\" + GuidText(kComponent.library_id) + u"\\" +
         FromUtf8(std::to_string(kComponent.library_major) + "." +
                  std::to_string(kComponent.library_minor));
}
Text LibraryFileKey() {
  return LibraryVersionKey() + u"\\" + FromUtf8(std::to_string(kComponent.library_lcid)) + u"\\" +
         kPlatform;
}

// Whether this DLL's platform has its file entry in the type library's key.
bool TypeLibRegistered() {
  const Text key = LibraryFileKey();
  HKEY handle = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, Wide(key).c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) {
    return false;
  }
  RegCloseKey(handle);
  return true;
}

// The other architecture's view of the registry (32-bit DLL: the 64-bit view and back). On
// 32-bit Windows there is one view and the flag is ignored.
#ifdef _WIN64
constexpr REGSAM kOtherView = KEY_WOW64_32KEY;
#else
constexpr REGSAM kOtherView = KEY_WOW64_64KEY;
#endif

// Whether the other architecture's DLL is registered as the class's server.
bool OtherArchitectureRegistered() {
  const Text key = u"CLSID\\" + GuidText(kComponent.quorrel.clsid) + u"\\InprocServer32";
  HKEY handle = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, Wide(key).c_str(), 0, KEY_READ | kOtherView, &handle) !=
      ERROR_SUCCESS) {
    return false;
  }
  RegCloseKey(handle);
  return true;
}

// Removes this platform's file entry of the type library (TypeLib\{id}\1.0\0\win32 or win64)
// from both views; Wine writes it into both.
bool RemoveTypeLibFileEntry() {
  const Text key = LibraryFileKey();
  bool ok = true;
  for (REGSAM view : {REGSAM{0}, kOtherView}) {
    const LSTATUS status = RegDeleteKeyExW(HKEY_CLASSES_ROOT, Wide(key).c_str(), view, 0);
    ok = ok && (status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND);
  }
  return ok;
}

HRESULT Unregister() {
  bool ok = DeleteTree(u"CLSID\\" + GuidText(kComponent.quorrel.clsid));
  const Text interfaceKey = u"Interface\\" + GuidText(kComponent.quorrel.default_interface);
  if (OtherArchitectureRegistered()) {
    // The other architecture still serves the class: the ProgID and the type library's
    // common entries are its too. Only this architecture's own entries go: the class entry
    // and the interface entry of this view, and this platform's type library file.
    ok = DeleteTree(interfaceKey) && ok;
    return RemoveTypeLibFileEntry() && ok ? S_OK : SELFREG_E_CLASS;
  }
  ok = DeleteTree(kProgId) && ok;
  // A library that is not registered for this platform is already what was asked for.
  if (TypeLibRegistered() &&
      FAILED(UnRegisterTypeLib(kComponent.library_id, kComponent.library_major,
                               kComponent.library_minor, kComponent.library_lcid, kSysKind))) {
    return SELFREG_E_TYPELIB;
  }
  // UnRegisterTypeLib removes the interface entry; this removes what a partial
  // registration may have left.
  ok = DeleteTree(interfaceKey) && ok;
  return ok ? S_OK : SELFREG_E_CLASS;
}

HRESULT Register() {
  std::wstring path = ModulePath();
  if (path.empty()) return SELFREG_E_CLASS;

  ITypeLib* typeLib = nullptr;
  if (FAILED(LoadTypeLibEx(path.c_str(), REGKIND_NONE, &typeLib))) return SELFREG_E_TYPELIB;
  const HRESULT registered = RegisterTypeLib(typeLib, path.data(), nullptr);
  typeLib->Release();
  if (FAILED(registered)) return SELFREG_E_TYPELIB;
  // The library has no help file. Its HELPDIR would name this architecture's folder in a key
  // that both architectures share, so it is not kept.
  for (REGSAM view : {REGSAM{0}, kOtherView}) {
    RegDeleteKeyExW(HKEY_CLASSES_ROOT, Wide(LibraryVersionKey() + u"\\HELPDIR").c_str(), view, 0);
  }

  for (const RegistryValue& value : RegistrationValues(FromWide(path), kPlatform)) {
    if (WrittenHere(value) && !WriteValue(value)) {
      Unregister();  // leave nothing half-registered
      return SELFREG_E_CLASS;
    }
  }
  return S_OK;
}

}  // namespace

HRESULT RegisterServer() noexcept {
  try {
    return Register();
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

HRESULT UnregisterServer() noexcept {
  try {
    return Unregister();
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

}  // namespace wq::frame
