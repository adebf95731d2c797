#include "cli/settings.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "cli/command_errors.h"
#include "cli/connection_option.h"
#include "cli/settings_file.h"
#include "cli/system.h"
#include "platform/db/connection_string.h"

namespace wq::cli {
namespace {

struct State {
  std::string file;                           // the settings file read, if any
  std::string unreadable;                     // the default file and why it could not be read
  std::map<std::string, std::string> origin;  // names the file put into the environment
  bool verbose = false;
};

State& Loaded() {
  static State state;
  return state;
}

// The file's bytes; false (errno kept) when it cannot be opened or read.
bool ReadWhole(const std::string& path, std::string& text) {
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) {
    errno = EISDIR;
    return false;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream buffer;
  buffer << in.rdbuf();
  if (in.bad()) return false;
  text = buffer.str();
  return true;
}

}  // namespace

const std::string& DefaultSettingsPath() {
#ifdef WEBQUORREL_SETTINGS_FILE
  static const std::string path = WEBQUORREL_SETTINGS_FILE;
#else
  static const std::string path;
#endif
  return path;
}

void LoadSettings(const std::optional<std::string>& path) {
  State& state = Loaded();
  const std::string file = path ? *path : DefaultSettingsPath();
  if (file.empty()) return;
  std::string text;
  errno = 0;
  if (!ReadWhole(file, text)) {
    const std::string why = errno != 0 ? std::strerror(errno) : "cannot be read";
    if (path) {
      if (errno == ENOENT) throw Error::InvalidProcedureCall("settings file " + file + ": " + why);
      throw FileAccessError("cannot read the settings file " + file + ": " + why);
    }
    if (errno != ENOENT) state.unreadable = file + " (" + why + ")";
    return;
  }
  state.file = file;
  for (const Setting& s : ParseSettings(text, file)) {
    // A name already in the environment (or set by an earlier line of this file) is kept; a
    // later line of the file wins over an earlier one, as in both other readers.
    const auto mine = state.origin.find(s.name);
    if (mine == state.origin.end() && EnvironmentVariableIsSet(s.name.c_str())) continue;
    SetEnvironmentValue(s.name.c_str(), s.value);
    state.origin[s.name] = file;
  }
}

std::string Origin(const char* name) {
  const State& state = Loaded();
  if (auto it = state.origin.find(name); it != state.origin.end()) return it->second;
  return EnvironmentVariableIsSet(name) ? "the environment" : "";
}

std::string DescribeRegister(const std::optional<std::string>& conn) {
  const State& state = Loaded();
  std::string text;
  if (conn) {
    text = ToUtf8(db::ConnectionString::Redact(FromUtf8(*conn))) + " (--conn)";
  } else if (const std::string env = EnvironmentVariable("WEBQUORREL_CONN"); !env.empty()) {
    text = ToUtf8(db::ConnectionString::Redact(FromUtf8(env))) + " (WEBQUORREL_CONN from " +
           Origin("WEBQUORREL_CONN") + ")";
  } else {
    std::string where;
    try {
      where = EmbeddedDatabasePath();
    } catch (const Error&) {
      where = "none (give --conn or set WEBQUORREL_CONN)";
    }
    text = "embedded database " + where;
    if (const std::string xdg = Origin("XDG_DATA_HOME"); xdg != "" && xdg != "the environment") {
      text += " (XDG_DATA_HOME from " + xdg + ")";
    }
  }
  if (!state.unreadable.empty()) text += "; settings file not read: " + state.unreadable;
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  }
  return "register: " + text;
}

bool Verbose() { return Loaded().verbose; }
void SetVerbose(bool on) { Loaded().verbose = on; }

}  // namespace wq::cli
