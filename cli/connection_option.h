// Which database a command works on: --conn, else WEBQUORREL_CONN, else (Linux only) the
// embedded database at $XDG_DATA_HOME/webquorrel/presence.db (~/.local/share/webquorrel/...).
#pragma once

#include <CLI/CLI.hpp>
#include <memory>
#include <optional>
#include <string>

#include "platform/text/text.h"

namespace wq::cli {

struct ConnectionChoice {
  Text connectionString;
  bool embedded = false;  // the default database, which the command creates and initialises
};

// Adds --conn CONN and --conn-file PATH (the string read from a file, '-' for standard input,
// so that a password stays off the command line) to a subcommand; conn stays empty when
// neither is given.
void AddConnOption(CLI::App& command, std::optional<std::string>& conn);

// The connection string that a --conn-file holds: its one line, without the line end. Raises
// invalid procedure call for a file that cannot be read, is empty, is longer than 64 KiB, or
// holds a NUL or more than one line.
std::string ReadConnectionFile(const std::string& path);

// Overwrites the value of every --conn argument in the process's own arguments (what
// /proc/PID/cmdline and ps show) with "***", once the command line has been copied for parsing.
// Stops at "--". Nothing on Windows, whose command line is kept elsewhere.
void HideConnectionArguments(int argc, char** argv);

// What every command that works on a database takes.
struct DatabaseOptions {
  std::optional<std::string> conn;  // --conn
};

// Adds a subcommand that works on a database, with --conn; options becomes the state that its
// callback shares with the parser.
template <class Options>
CLI::App* AddDatabaseCommand(CLI::App& app, std::shared_ptr<Options>& options,
                             const std::string& name, const std::string& description) {
  options = std::make_shared<Options>();
  CLI::App* command = app.add_subcommand(name, description);
  AddConnOption(*command, options->conn);
  return command;
}

// Picks the connection. An explicit one (flag or environment) is used unchanged.
ConnectionChoice ChooseConnection(const std::optional<std::string>& flag);

// The embedded database's file: $XDG_DATA_HOME (when absolute) or $HOME/.local/share, then
// webquorrel/presence.db. None on Windows: there --conn or WEBQUORREL_CONN is needed.
std::string EmbeddedDatabasePath();  // cli/system_*.cpp

// "Provider=SQLite;Data Source=<path>", the path quoted.
Text SqliteConnectionString(const std::string& path);

// The connection string to use: the chosen one, with the embedded database's folder created and
// its table initialised first (*created says whether the table was made now). An explicit
// connection is never initialised.
Text PrepareConnection(const std::optional<std::string>& flag, bool* created = nullptr);

// The connection string for a command that only looks: the chosen one, nothing created, so that
// a missing embedded database is an error naming its file. Open it with db::Access::kReadOnly.
Text LookingConnection(const std::optional<std::string>& flag);

}  // namespace wq::cli
