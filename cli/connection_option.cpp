#include "cli/connection_option.h"

#include <filesystem>
#include <fstream>
#include <system_error>

#include "cli/schema.h"
#include "cli/system.h"
#include "platform/db/connection.h"
#include "platform/error.h"

namespace wq::cli {

Text SqliteConnectionString(const std::string& path) {
  std::string quoted = "\"";
  for (char c : path) {
    if (c == '"') quoted.push_back('"');
    quoted.push_back(c);
  }
  quoted.push_back('"');
  return FromUtf8("Provider=SQLite;Data Source=" + quoted);
}

namespace {

// Creates the embedded database's folder and an empty database file (which SQLite takes as a
// new database) readable by their owner only, where they are missing; SQLite's journal files
// take the database file's mode. What exists already keeps the mode its owner gave it.
void CreateOwnerOnly(const std::string& file) {
  namespace fs = std::filesystem;
  const fs::path path(file);
  const fs::path dir = path.parent_path();
  std::error_code ec;
  fs::create_directories(dir.parent_path(), ec);
  if (!ec && fs::create_directory(dir, ec)) fs::permissions(dir, fs::perms::owner_all, ec);
  if (ec) throw Error(kInvalidProcedureCall, "cannot create " + dir.string() + ": " + ec.message());
  if (fs::exists(path, ec) || ec) return;  // a failure here is the database's to report
  if (std::ofstream(path, std::ios::app).good()) {
    fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write, ec);
  }
}

}  // namespace

void AddConnOption(CLI::App& command, std::optional<std::string>& conn) {
  command.add_option_function<std::string>(
      "--conn", [&conn](const std::string& value) { conn = value; }, kConnHelp);
}

ConnectionChoice ChooseConnection(const std::optional<std::string>& flag) {
  if (flag) return {FromUtf8(*flag), false};
  if (std::string env = EnvironmentVariable("WEBQUORREL_CONN"); !env.empty())
    return {FromUtf8(env), false};
  return {SqliteConnectionString(EmbeddedDatabasePath()), true};
}

Text PrepareConnection(const std::optional<std::string>& flag, bool* created) {
  ConnectionChoice choice = ChooseConnection(flag);
  if (choice.embedded) {
    CreateOwnerOnly(EmbeddedDatabasePath());
    auto conn = db::Connection::Open(choice.connectionString);
    const bool made = ApplySchema(*conn);
    if (created) *created = made;
    conn->Close();
  }
  return choice.connectionString;
}

}  // namespace wq::cli
