#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>

#include "cli/commands.h"
#include "cli/connection_option.h"
#include "cli/terminal_text.h"
#include "platform/error.h"
#include "presence/age.h"
#include "presence/maintenance.h"

namespace wq::cli {

namespace {

// Makes the process's local time follow the named zone: an IANA name such as Europe/Berlin
// (Linux: a file of the zone database), or on Windows a TZ rule such as CET-1CEST.
void FollowTimeZone(const std::string& name) {
  const bool plain = !name.empty() && name.size() <= 64 && name.find("..") == std::string::npos &&
                     name.front() != '/' &&
                     name.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                                            "0123456789/_+-,.:") == std::string::npos;
#ifdef _WIN32
  if (!plain || _putenv_s("TZ", name.c_str()) != 0) {
    throw Error::InvalidProcedureCall("\"" + name + "\" is not a time zone");
  }
  _tzset();
#else
  const char* dir = std::getenv("TZDIR");
  const std::filesystem::path file =
      std::filesystem::path(dir && *dir ? dir : "/usr/share/zoneinfo") / name;
  std::error_code ec;
  if (!plain || !std::filesystem::is_regular_file(file, ec)) {
    throw Error::InvalidProcedureCall("\"" + name +
                                      "\" is not a time zone of the zone database, such as "
                                      "Europe/Berlin");
  }
  setenv("TZ", name.c_str(), 1);
  tzset();
#endif
}

}  // namespace

// What `webquorrel prune --help` says the command does.
constexpr char kPruneHelp[] =
    "Remove live presence records whose time is older than a duration by the database "
    "server's clock, in one statement, and print what was removed";

void AddPruneCommand(CLI::App& app) {
  struct Options : DatabaseOptions {
    std::string olderThan;
    std::optional<std::string> module;
    bool dryRun = false;
    std::optional<std::string> timeZone;
  };
  std::shared_ptr<Options> options;
  CLI::App* command = AddDatabaseCommand(app, options, "prune", kPruneHelp);
  command->add_option("--older-than", options->olderThan, "90s, 10m, 2h or 1d")->required();
  command->add_option_function<std::string>(
      "--module", [options](const std::string& m) { options->module = m; },
      "Only records of this module (exact name)");
  command->add_flag("--dry-run", options->dryRun, "Print what would be removed; remove nothing");
  command->add_option_function<std::string>(
      "--time-zone", [options](const std::string& z) { options->timeZone = z; },
      "The zone the server's clock follows (default: this machine's), e.g. Europe/Berlin; "
      "around its daylight-saving changes a record goes only when it is older under every "
      "reading");
  command->callback([options] {
    if (options->timeZone) FollowTimeZone(*options->timeZone);
    presence::PruneOptions prune;
    prune.olderThanSeconds = presence::ParseDuration(options->olderThan);
    if (options->module) prune.module = FromUtf8(*options->module);
    prune.dryRun = options->dryRun;
    const presence::PruneResult result = presence::Prune(PrepareConnection(options->conn), prune);

    const char* verb = options->dryRun ? "would remove" : "removed";
    for (const presence::PresenceRow& row : result.expired) {
      std::cout << verb << " id " << *row.number << ": " << QuotedPrintable(row.workstation)
                << " in module " << QuotedPrintable(row.module) << ", time " << Printable(row.time)
                << '\n';
    }
    std::cout << verb << ' ' << result.expired.size()
              << (result.expired.size() == 1 ? " record" : " records") << " older than "
              << options->olderThan << " (server time " << Printable(result.serverTime) << ")"
              << std::endl;
  });
}

}  // namespace wq::cli
