#include "cli/connection_option.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string_view>
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
  CLI::Option* direct = command.add_option_function<std::string>(
      "--conn", [&conn](const std::string& value) { conn = value; }, kConnHelp);
  command
      .add_option_function<std::string>(
          "--conn-file", [&conn](const std::string& path) { conn = ReadConnectionFile(path); },
          "Read the connection string from the file PATH ('-': standard input), which keeps a "
          "password off the command line")
      ->excludes(direct);
}

std::string ReadConnectionFile(const std::string& path) {
  constexpr size_t kLimit = 64 * 1024;
  const auto bad = [&](const std::string& why) {
    return Error::InvalidProcedureCall("--conn-file " + path + ": " + why);
  };
  std::ifstream file;
  if (path != "-") {
    file.open(std::filesystem::path(std::u8string(path.begin(), path.end())), std::ios::binary);
    if (!file) throw bad("cannot be read");
  }
  std::istream& in = path == "-" ? std::cin : file;
  std::string text(kLimit + 1, '\0');
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  if (in.bad()) throw bad("cannot be read");
  text.resize(static_cast<size_t>(in.gcount()));
  if (text.size() > kLimit) throw bad("longer than 64 KiB");
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  if (text.empty()) throw bad("holds no connection string");
  if (text.find('\0') != std::string::npos) throw bad("holds a NUL byte");
  if (text.find_first_of("\r\n") != std::string::npos) throw bad("holds more than one line");
  return text;
}

void HideConnectionArguments(int argc, char** argv) {
#ifndef _WIN32
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg(argv[i]);
    if (arg == "--") break;
    char* value = nullptr;
    if (arg == "--conn" && i + 1 < argc) {
      value = argv[++i];
    } else if (arg.starts_with("--conn=")) {
      value = argv[i] + 7;
    }
    if (value == nullptr) continue;
    const size_t length = std::strlen(value);
    std::memset(value, 0, length);
    std::memcpy(value, "***", std::min<size_t>(length, 3));
  }
#else
  (void)argc;
  (void)argv;
#endif
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
