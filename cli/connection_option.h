// Which database a command works on: --conn, else WEBQUORREL_CONN, else (Linux only) the
// embedded database at $XDG_DATA_HOME/webquorrel/presence.db (~/.local/share/webquorrel/...).
#pragma once

#include <CLI/CLI.hpp>
#include <optional>
#include <string>

#include "platform/text/text.h"

namespace wq::cli {

struct ConnectionChoice {
  Text connectionString;
  bool embedded = false;  // the default database, which the command creates and initialises
};

// Adds --conn CONN to a subcommand; conn stays empty when it is not given.
void AddConnOption(CLI::App& command, std::optional<std::string>& conn);

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

}  // namespace wq::cli
