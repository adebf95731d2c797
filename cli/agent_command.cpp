#include <chrono>
#include <iostream>
#include <memory>
#include <optional>

#include "cli/commands.h"
#include "cli/connection_option.h"
#include "cli/signals.h"
#include "cli/terminal_text.h"
#include "presence/update.h"

namespace wq::cli {
namespace {

struct AgentOptions : DatabaseOptions {
  std::string module;
  bool login = false;
  int interval = 60;
};

// One update; a failure, even of preparing the default database, comes back as its error.
presence::UpdateResult Update(const AgentOptions& options, int16_t state) {
  presence::UpdateResult result;
  try {
    result = presence::UpdateOnlineState(PrepareConnection(options.conn), state, FromUtf8(options.module),
                                 options.login);
  } catch (const Error& e) {
    result.error = e;
  }
  return result;
}

std::string Describe(const Error& e) {
  return "error " + std::to_string(e.number()) + ": " + Printable(FromUtf8(e.what()));
}

// Registers now and every interval until a stop request, then withdraws. A failed update is
// reported and tried again at the next interval; nothing about the database ends the loop.
void RunAgent(const AgentOptions& options) {
  StopSignals signals;
  const std::string module = QuotedPrintable(FromUtf8(options.module));
  bool registered = false;
  int failures = 0;
  long attempted = 0, failed = 0;  // over the whole run, for the closing line
  for (;;) {
    const presence::UpdateResult r = Update(options, 2);
    ++attempted;
    if (!r.ok()) ++failed;
    if (r.ok()) {
      if (!registered) {
        std::cout << "registered in module " << module << " (" << r.count << " presence records"
                  << (failures > 0 ? ", after " + std::to_string(failures) + " failed updates"
                                   : std::string())
                  << ")" << std::endl;
      }
      registered = true;
      failures = 0;
    } else {
      registered = false;
      ++failures;
      std::cerr << "webquorrel agent: update failed, retrying in " << options.interval
                << " s: " << Describe(*r.error) << std::endl;
    }
    if (const int sig = signals.Wait(std::chrono::seconds(options.interval)); sig != 0) {
      std::cout << "stopping on " << (sig == SIGINT ? "SIGINT" : "SIGTERM") << " after "
                << attempted << " updates (" << failed << " failed)" << std::endl;
      break;
    }
  }
  const presence::UpdateResult last = Update(options, 0);
  if (!last.ok()) {
    // The record stays behind until this workstation registers again or a prune removes it.
    throw DatabaseError(last.error->number(), "",
                        "could not withdraw from module " + module + ": " + Describe(*last.error));
  }
  std::cout << "withdrew from module " << module << " (" << last.count << " presence records left)"
            << std::endl;
}

}  // namespace

// What `webquorrel agent --help` says the command does.
const std::string kAgentHelp =
    std::string(
        "Keep this workstation registered in a module: register now and every interval, "
        "withdraw on ") +
    kStopRequestName;

void AddAgentCommand(CLI::App& app) {
  std::shared_ptr<AgentOptions> options;
  CLI::App* command = AddDatabaseCommand(app, options, "agent", kAgentHelp);
  command->add_option("--module", options->module, "The module to be registered in")->required();
  command->add_flag("--login", options->login, "Mark the records as logged in");
  command->add_option("--interval", options->interval, "Seconds between updates")
      ->default_val(60)
      ->check(CLI::Range(1, 86400));
  command->callback([options] { RunAgent(*options); });
}

}  // namespace wq::cli
