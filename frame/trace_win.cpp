// The failure trace on Windows: OutputDebugStringW, and the file that WEBQUORREL_TRACE or the
// registry value HKLM\SOFTWARE\webQuorrel\TraceFile names. The folder may be writable by every
// user of the host: the file is opened without following reparse points, created for its owner
// only, and rotated by renaming the locked file itself.
#include <windows.h>
// after windows.h
#include <sddl.h>

#include <cstring>
#include <string>
#include <vector>

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

// A handle that closes itself (and so lets go of its lock).
class Handle {
 public:
  Handle() = default;
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  ~Handle() { Reset(); }
  HANDLE get() const { return handle_; }
  void Reset(HANDLE h = INVALID_HANDLE_VALUE) {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    handle_ = h;
  }

 private:
  HANDLE handle_ = INVALID_HANDLE_VALUE;
};

// Full access for the creating user, SYSTEM and Administrators, inherited from nowhere: other
// users of the machine cannot read the trace or write into it.
struct OwnerOnly {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  SECURITY_ATTRIBUTES attributes{sizeof(SECURITY_ATTRIBUTES), nullptr, FALSE};
  OwnerOnly() {
    HANDLE token = nullptr;
    if (!OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token) &&
        !OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
      return;
    }
    alignas(TOKEN_USER) BYTE buffer[256];
    DWORD length = 0;
    wchar_t* sid = nullptr;
    if (GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &length) &&
        ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &sid)) {
      const std::wstring sddl = L"D:P(A;;FA;;;" + std::wstring(sid) + L")(A;;FA;;;SY)(A;;FA;;;BA)";
      if (ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1,
                                                               &descriptor, nullptr)) {
        attributes.lpSecurityDescriptor = descriptor;
      }
      LocalFree(sid);
    }
    CloseHandle(token);
  }
  ~OwnerOnly() {
    if (descriptor != nullptr) LocalFree(descriptor);
  }
};

// The trace file at path, created when missing (for its owner only), locked; invalid when the
// path names a reparse point (a link or junction, not followed), a folder, a file with a second
// name, or cannot be opened. The lock is on one byte far past any content, so that readers of
// the trace are never held up by it.
HANDLE OpenLocked(const Text& path) {
  OwnerOnly security;
  if (security.descriptor == nullptr) return INVALID_HANDLE_VALUE;
  // Appending: every write lands at the end, whoever else has the file open. DELETE: to rename
  // this very file when it is full.
  const HANDLE file = CreateFileW(
      Wide(path), FILE_READ_DATA | FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | DELETE | SYNCHRONIZE,
      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &security.attributes, OPEN_ALWAYS,
      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) return file;
  BY_HANDLE_FILE_INFORMATION info{};
  OVERLAPPED past{};
  past.Offset = 0xFFFFFFFE;
  past.OffsetHigh = 0x7FFFFFFF;
  if (!GetFileInformationByHandle(file, &info) ||
      (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0 ||
      info.nNumberOfLinks != 1 || !LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &past)) {
    CloseHandle(file);
    return INVALID_HANDLE_VALUE;
  }
  return file;
}

// Whether path still names the file that file is (another writer may have rotated it).
bool StillNamed(const Text& path, HANDLE file) {
  const HANDLE named = CreateFileW(
      Wide(path), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
      nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (named == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION a{}, b{};
  const bool same = GetFileInformationByHandle(file, &a) && GetFileInformationByHandle(named, &b) &&
                    a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
                    a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
  CloseHandle(named);
  return same;
}

// Renames the open file to target, replacing a file (or a link itself, never its target) there.
bool RenameTo(HANDLE file, const Text& target) {
  std::vector<BYTE> buffer(sizeof(FILE_RENAME_INFO) + target.size() * sizeof(wchar_t));
  auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
  info->ReplaceIfExists = TRUE;
  info->RootDirectory = nullptr;
  info->FileNameLength = static_cast<DWORD>(target.size() * sizeof(wchar_t));
  std::memcpy(info->FileName, target.data(), info->FileNameLength);
  return SetFileInformationByHandle(file, FileRenameInfo, info,
                                    static_cast<DWORD>(buffer.size())) != 0;
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
    Handle file;
    for (int attempt = 0;; ++attempt) {
      file.Reset(OpenLocked(path));
      if (file.get() == INVALID_HANDLE_VALUE) return false;
      if (StillNamed(path, file.get())) break;
      if (attempt == 8) return false;
    }
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size)) return false;
    if (static_cast<uint64_t>(size.QuadPart) >= limit) {
      // The locked file itself is renamed (not whatever the path names by then); the new file
      // is locked before this one is let go, so a writer that waited finds it and waits there.
      if (!RenameTo(file.get(), path + u".1")) return false;
      const HANDLE fresh = OpenLocked(path);
      if (fresh == INVALID_HANDLE_VALUE) return false;
      file.Reset(fresh);
    }
    const std::string text = std::string(line) + "\r\n";
    DWORD written = 0;
    const BOOL ok =
        WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    return ok && written == text.size();
  } catch (...) {
    return false;
  }
}

}  // namespace wq::frame::trace_platform
