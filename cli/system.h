// What the command needs from the system it runs on, one implementation per platform
// (system_posix.cpp, system_win.cpp): its arguments and environment as UTF-8, the console and
// the default database.
#pragma once

#include <string>
#include <vector>

namespace wq::cli {

// The command line as UTF-8, in the argc/argv shape (on Windows read as UTF-16 and converted,
// since argv holds the ANSI code page's bytes there).
class Utf8Arguments {
 public:
  Utf8Arguments(int argc, char** argv);
  int argc() const { return static_cast<int>(pointers_.size()); }
  char** argv() { return pointers_.data(); }

 private:
  std::vector<std::string> args_;
  std::vector<char*> pointers_;
};

// Once at start-up: on Windows the console shows UTF-8, and the update's message about the
// server's clock goes to stderr instead of a message box that would hold the command up.
void PrepareProcess();

// An environment variable as UTF-8; empty when it is not set.
std::string EnvironmentVariable(const char* name);

// Whether an environment variable is set at all (perhaps to the empty text).
bool EnvironmentVariableIsSet(const char* name);

// Sets an environment variable of this process (value in UTF-8), for getenv as for the system.
void SetEnvironmentValue(const char* name, const std::string& value);

// The computer name before the 15-character cut that workstation names get (UTF-8): on Linux
// WEBQUORREL_COMPUTERNAME or the host name's first label in upper case; empty on Windows, whose
// computer names are never longer.
std::string UncutComputerName();

// The embedded default database's file. Raises invalid procedure call where there is none
// (Windows, where every database is reached through ODBC and --conn is needed).
std::string EmbeddedDatabasePath();

// The --conn option's help: where the connection comes from when it is not given.
extern const char kConnHelp[];
// Printed at the end of --help: what differs on this platform (empty on Linux).
extern const char kPlatformNotes[];

}  // namespace wq::cli
