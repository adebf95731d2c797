#include "cli/connection_option.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "cli/schema.h"
#include "platform/db/connection.h"
#include "platform/error.h"

namespace wq::cli {
namespace {

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v == nullptr ? std::string() : std::string(v);
}

std::string HomeDirectory() {
  std::string home = Env("HOME");
  if (!home.empty()) return home;
  if (const passwd* pw = getpwuid(getuid()); pw != nullptr && pw->pw_dir != nullptr) {
    return pw->pw_dir;
  }
  throw Error(kInvalidProcedureCall, "cannot find the home directory for the default database");
}

}  // namespace

std::string EmbeddedDatabasePath() {
  std::filesystem::path base;
  const std::string xdg = Env("XDG_DATA_HOME");
  if (!xdg.empty() && xdg.front() == '/') {
    base = xdg;
  } else {
    base = std::filesystem::path(HomeDirectory()) / ".local" / "share";
  }
  return (base / "webquorrel" / "presence.db").string();
}

Text SqliteConnectionString(const std::string& path) {
  std::string quoted = "\"";
  for (char c : path) {
    if (c == '"') quoted.push_back('"');
    quoted.push_back(c);
  }
  quoted.push_back('"');
  return FromUtf8("Provider=SQLite;Data Source=" + quoted);
}

void AddConnOption(CLI::App& command, std::optional<std::string>& conn) {
  command.add_option_function<std::string>(
      "--conn", [&conn](const std::string& value) { conn = value; },
      "Connection string (default: $WEBQUORREL_CONN, else the embedded database "
      "$XDG_DATA_HOME/webquorrel/presence.db)");
}

ConnectionChoice ChooseConnection(const std::optional<std::string>& flag) {
  if (flag) return {FromUtf8(*flag), false};
  if (std::string env = Env("WEBQUORREL_CONN"); !env.empty()) return {FromUtf8(env), false};
  return {SqliteConnectionString(EmbeddedDatabasePath()), true};
}

Text PrepareConnection(const std::optional<std::string>& flag, bool* created) {
  ConnectionChoice choice = ChooseConnection(flag);
  if (choice.embedded) {
    const std::filesystem::path dir = std::filesystem::path(EmbeddedDatabasePath()).parent_path();
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec) {
      throw Error(kInvalidProcedureCall, "cannot create " + dir.string() + ": " + ec.message());
    }
    auto conn = db::Connection::Open(choice.connectionString);
    const bool made = ApplySchema(*conn);
    if (created) *created = made;
    conn->Close();
  }
  return choice.connectionString;
}

}  // namespace wq::cli
