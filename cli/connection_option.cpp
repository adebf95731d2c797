#include "cli/connection_option.h"

#include <filesystem>
#include <system_error>

#include "cli/schema.h"
#include "cli/system.h"
#include "platform/db/register.h"
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
    const std::filesystem::path dir = std::filesystem::path(EmbeddedDatabasePath()).parent_path();
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec) {
      throw Error(kInvalidProcedureCall, "cannot create " + dir.string() + ": " + ec.message());
    }
    auto reg = db::Register::Open(choice.connectionString);
    const bool made = ApplySchema(*reg);
    if (created) *created = made;
    reg->Close();
  }
  return choice.connectionString;
}

Text LookingConnection(const std::optional<std::string>& flag) {
  return ChooseConnection(flag).connectionString;
}

}  // namespace wq::cli
