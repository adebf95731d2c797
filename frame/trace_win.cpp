// The failure trace on Windows: OutputDebugStringW, and the file that WEBQUORREL_TRACE or the
// registry value HKLM\SOFTWARE\webQuorrel\TraceFile names.
#include <windows.h>

#include <string>

#include "frame/trace_platform.h"

namespace wq::frame::trace_platform {
namespace {

const wchar_t* Wide(const Text& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }

Text Environment(const wchar_t* name) {
  wchar_t buffer[1024];
  const DWORD n = GetEnvironmentVariableW(name, buffer, 1024);
  return n == 0 || n >= 1024 ? Text() : Text(reinterpret_cast<const char16_t*>(buffer), n);
}

// The 64-bit view of the registry, so one value serves both the 32-bit and the 64-bit DLL.
// REG_EXPAND_SZ values have their %VARIABLES% expanded.
Text RegistryTraceFile() {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\webQuorrel", 0,
                    KEY_QUERY_VALUE | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS) {
    return Text();
  }
  wchar_t value[1024] = {};
  DWORD type = 0;
  DWORD size = sizeof value - sizeof(wchar_t);  // room for a terminator the value may lack
  const LONG rc =
      RegQueryValueExW(key, L"TraceFile", nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
  RegCloseKey(key);
  if (rc != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return Text();
  value[size / sizeof(wchar_t)] = L'\0';
  if (type == REG_EXPAND_SZ) {
    wchar_t expanded[1024];
    const DWORD n = ExpandEnvironmentStringsW(value, expanded, 1024);
    if (n == 0 || n > 1024) return Text();
    return Text(reinterpret_cast<const char16_t*>(expanded));
  }
  return Text(reinterpret_cast<const char16_t*>(value));
}

}  // namespace

void ToDebugger(const Text& line) noexcept { OutputDebugStringW(Wide(line + u"\r\n")); }

Text TraceFile() {
  Text path = Environment(L"WEBQUORREL_TRACE");
  return path.empty() ? RegistryTraceFile() : path;
}

uint32_t ProcessId() noexcept { return GetCurrentProcessId(); }

bool AppendLine(const Text& path, std::string_view line, uint64_t limit) noexcept {
  try {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (GetFileAttributesExW(Wide(path), GetFileExInfoStandard, &data) &&
        ((static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow) >= limit) {
      const Text old = path + u".1";
      MoveFileExW(Wide(path), Wide(old), MOVEFILE_REPLACE_EXISTING);
    }
    // Appending: every write lands at the end, whoever else has the file open.
    const HANDLE file = CreateFileW(Wide(path), FILE_APPEND_DATA,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const std::string text = std::string(line) + "\r\n";
    DWORD written = 0;
    const BOOL ok =
        WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == text.size();
  } catch (...) {
    return false;
  }
}

}  // namespace wq::frame::trace_platform
