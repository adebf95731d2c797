// The command's system on Windows: UTF-16 arguments and environment, a UTF-8 console, no
// embedded database (every database through ODBC), and no `serve`.
#include <windows.h>
// windows.h first
#include <shellapi.h>

#include <cstdlib>
#include <iostream>

#include "cli/system.h"
#include "platform/env/env.h"
#include "platform/error.h"

namespace wq::cli {
namespace {

std::string Utf8(const wchar_t* text) {
  return ToUtf8(TextView(reinterpret_cast<const char16_t*>(text)));
}

// The machine's own environment for the computer name (as the DLL reads it) and the clock; the
// clock message goes to stderr instead of a message box, so that it does not hold the command up.
class ConsoleEnv : public Env {
 public:
  explicit ConsoleEnv(Env& machine) : machine_(machine) {}
  bool GetComputerNameA(char* buffer, uint32_t size) override {
    return machine_.GetComputerNameA(buffer, size);
  }
  void ShowMessage(const Text& message) override { std::cerr << ToUtf8(message) << std::endl; }
  std::chrono::system_clock::time_point Now() override { return machine_.Now(); }

 private:
  Env& machine_;
};

}  // namespace

const char kConnHelp[] =
    "Connection string (default: %WEBQUORREL_CONN%; one of them is needed on Windows, e.g. "
    "Driver={ODBC Driver 17 for SQL Server};Server=...;Database=...;Trusted_Connection=yes)";
const char kPlatformNotes[] =
    "On Windows: every database is reached through ODBC and there is no embedded default "
    "database, so --conn or WEBQUORREL_CONN is needed. agent stops on Ctrl+C, Ctrl+Break or the "
    "console closing (there are no SIGINT and SIGTERM) and is no Windows service. serve is not "
    "available (its HTTP library is not part of the Windows build): use serve of the Linux "
    "command, or list --json. The workstation is the computer name, as the DLL reads it.";

Utf8Arguments::Utf8Arguments(int argc, char** argv) {
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) {
    args_.assign(argv, argv + argc);
  } else {
    for (int i = 0; i < count; ++i) args_.push_back(Utf8(wide[i]));
    LocalFree(wide);
  }
  for (std::string& a : args_) pointers_.push_back(a.data());
}

void PrepareProcess() {
  SetConsoleOutputCP(CP_UTF8);
  static ConsoleEnv env(Env::Default());
  Env::SetDefault(&env);
}

std::string EnvironmentVariable(const char* name) {
  const Text wide_name = FromUtf8(name);
  const wchar_t* n = reinterpret_cast<const wchar_t*>(wide_name.c_str());
  const DWORD size = GetEnvironmentVariableW(n, nullptr, 0);
  if (size == 0) return std::string();
  std::wstring value(size, L'\0');
  const DWORD length = GetEnvironmentVariableW(n, value.data(), size);
  if (length == 0 || length >= size) return std::string();
  value.resize(length);
  return Utf8(value.c_str());
}

bool EnvironmentVariableIsSet(const char* name) {
  const Text wide_name = FromUtf8(name);
  SetLastError(0);
  return GetEnvironmentVariableW(reinterpret_cast<const wchar_t*>(wide_name.c_str()), nullptr, 0) !=
             0 ||
         GetLastError() != ERROR_ENVVAR_NOT_FOUND;
}

void SetEnvironmentValue(const char* name, const std::string& value) {
  const Text wide_name = FromUtf8(name);
  const Text wide_value = FromUtf8(value);
  // The C runtime's copy too, which getenv reads.
  _wputenv_s(reinterpret_cast<const wchar_t*>(wide_name.c_str()),
             reinterpret_cast<const wchar_t*>(wide_value.c_str()));
}

std::string UncutComputerName() { return {}; }

std::string EmbeddedDatabasePath() {
  throw Error(kInvalidProcedureCall,
              "no database given: on Windows there is no embedded default database; pass "
              "--conn CONNECTION or set WEBQUORREL_CONN (an ODBC or SQL Server connection "
              "string)");
}

}  // namespace wq::cli
