#include <iostream>
#include <memory>
#include <optional>

#include "cli/commands.h"
#include "cli/connection_option.h"
#include "cli/terminal_text.h"
#include "presence/age.h"
#include "presence/maintenance.h"

namespace wq::cli {

// What `webquorrel prune --help` says the command does.
constexpr char kPruneHelp[] =
    "Remove live presence records whose time is older than a duration by the database "
    "server's clock, in one statement, and print what was removed";

void AddPruneCommand(CLI::App& app) {
  struct Options : DatabaseOptions {
    std::string olderThan;
    std::optional<std::string> module;
    bool dryRun = false;
  };
  std::shared_ptr<Options> options;
  CLI::App* command = AddDatabaseCommand(app, options, "prune", kPruneHelp);
  command->add_option("--older-than", options->olderThan, "90s, 10m, 2h or 1d")->required();
  command->add_option_function<std::string>(
      "--module", [options](const std::string& m) { options->module = m; },
      "Only records of this module (exact name)");
  command->add_flag("--dry-run", options->dryRun, "Print what would be removed; remove nothing");
  command->callback([options] {
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
