// The command's system on Linux: argv is UTF-8 already; the embedded database lives under
// $XDG_DATA_HOME.
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "cli/system.h"
#include "platform/env/env_posix.h"
#include "platform/error.h"
#include "platform/text/text.h"

namespace wq::cli {
namespace {

std::string HomeDirectory() {
  std::string home = EnvironmentVariable("HOME");
  if (!home.empty()) return home;
  if (const passwd* pw = getpwuid(getuid()); pw != nullptr && pw->pw_dir != nullptr) {
    return pw->pw_dir;
  }
  throw Error(kInvalidProcedureCall, "cannot find the home directory for the default database");
}

}  // namespace

const char kConnHelp[] =
    "Connection string (default: $WEBQUORREL_CONN, from the environment or the settings file, "
    "else the embedded database $XDG_DATA_HOME/webquorrel/presence.db)";
const char kPlatformNotes[] = "";

Utf8Arguments::Utf8Arguments(int argc, char** argv) : args_(argv, argv + argc) {
  for (std::string& a : args_) pointers_.push_back(a.data());
}

void PrepareProcess() {}

std::string EnvironmentVariable(const char* name) {
  const char* v = std::getenv(name);
  return v == nullptr ? std::string() : std::string(v);
}

bool EnvironmentVariableIsSet(const char* name) { return std::getenv(name) != nullptr; }

void SetEnvironmentValue(const char* name, const std::string& value) {
  setenv(name, value.c_str(), 1);
}

std::string UncutComputerName() { return ToUtf8(wq::UncutComputerName()); }

std::string EmbeddedDatabasePath() {
  std::filesystem::path base;
  const std::string xdg = EnvironmentVariable("XDG_DATA_HOME");
  if (!xdg.empty() && xdg.front() == '/') {
    base = xdg;
  } else {
    base = std::filesystem::path(HomeDirectory()) / ".local" / "share";
  }
  return (base / "webquorrel" / "presence.db").string();
}

}  // namespace wq::cli
