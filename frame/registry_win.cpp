// Self-registration on Windows. The type library is registered from this DLL's own resource;
// that also registers the interface for the standard automation marshaller. The ProgID and the
// class entry are then written below HKEY_CLASSES_ROOT as RegistrationValues lists them.
// windows.h first: the OLE headers build on it.
// clang-format off
#include <windows.h>
#include <oleauto.h>
#include <olectl.h>
// clang-format on

#include <string>
#include <vector>

#include "frame/descriptor.h"
#include "frame/registry.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

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

// The full path of this DLL, however long; empty when it cannot be read.
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

// Whether TypeLib\{id}\<major>.<minor>\<lcid>\<platform> exists for this DLL's platform.
bool TypeLibRegistered() {
  const Text key = u"TypeLib\\" + GuidText(kComponent.library_id) + u"\\" +
                   FromUtf8(std::to_string(kComponent.library_major) + "." +
                            std::to_string(kComponent.library_minor)) +
                   u"\\" + FromUtf8(std::to_string(kComponent.library_lcid)) + u"\\" + kPlatform;
  HKEY handle = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, Wide(key).c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) {
    return false;
  }
  RegCloseKey(handle);
  return true;
}

HRESULT Unregister() {
  bool ok = DeleteTree(kProgId);
  ok = DeleteTree(u"CLSID\\" + GuidText(kComponent.quorrel.clsid)) && ok;
  // A library that is not registered for this platform is already what was asked for.
  if (TypeLibRegistered() &&
      FAILED(UnRegisterTypeLib(kComponent.library_id, kComponent.library_major,
                               kComponent.library_minor, kComponent.library_lcid, kSysKind))) {
    return SELFREG_E_TYPELIB;
  }
  // UnRegisterTypeLib removes the interface entry; this removes what a partial
  // registration may have left.
  ok = DeleteTree(u"Interface\\" + GuidText(kComponent.quorrel.default_interface)) && ok;
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
