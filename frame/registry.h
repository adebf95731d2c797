// Self-registration: the values DllRegisterServer writes below the classes root
// (HKEY_CLASSES_ROOT on Windows) and DllUnregisterServer removes again.
#pragma once

#include <vector>

#include "platform/com/com.h"
#include "platform/text/text.h"

namespace wq::frame {

struct RegistryValue {
  Text key;   // below the classes root, '\' between levels: CLSID\{...}\InprocServer32
  Text name;  // empty for the key's default value
  Text data;  // a string value
};

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", upper case, as the registry writes class ids.
Text GuidText(const GUID& guid);

// Everything registration writes for the component loaded from module_path: the ProgID, the
// class entry, the interface entry and the type library entry. type_library_platform is the
// key below "TypeLib\{id}\1.0\0" that names the file carrying the type library ("win32",
// "win64"; on Linux the shared object's own platform name).
std::vector<RegistryValue> RegistrationValues(const Text& module_path,
                                              const Text& type_library_platform);

// The platform's registry: the real one on Windows, a text file elsewhere (registry_posix.cpp).
// Both return S_OK or a failing result and leave the registry as it was on failure.
HRESULT RegisterServer() noexcept;
HRESULT UnregisterServer() noexcept;

}  // namespace wq::frame
