#include <chrono>
#include <iostream>
#include <memory>
#include <optional>

#include "cli/command_errors.h"
#include "cli/commands.h"
#include "cli/connection_option.h"
#include "cli/signals.h"
#include "cli/terminal_text.h"
#include "cli/update_result.h"
#include "platform/db/idle_connections.h"
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
  return RunOnRegister(options.conn, state, options.module, options.login);
}

std::string Describe(const presence::UpdateResult& r) { return Explain(*r.error); }

// Registers now and every interval until a stop request, then withdraws. A failed update is
// reported and tried again at the next interval; nothing about the database ends the loop. A
// connection string that cannot be used at all (it does not parse, or names a provider this build
// does not know) ends the agent at once with status 2, so that its service shows as failed.
void RunAgent(const AgentOptions& options) {
  // An update uses one server connection (its writer shares it). Up to kKeepInterval between
  // updates the agent keeps that connection idle a little longer than the interval, so it logs in
  // once; a longer interval lets it close after the usual idle limit and logs in per update.
  constexpr int kKeepInterval = 300;
  if (options.interval <= kKeepInterval) {
    db::SetIdleConnectionLimit(std::chrono::seconds(options.interval + 30));
  }
  StopSignals signals;
  const std::string module = QuotedPrintable(FromUtf8(options.module));
  bool registered = false;
  int failures = 0;
  long attempted = 0, failed = 0;  // over the whole run, for the closing line
  for (;;) {
    const presence::UpdateResult r = Update(options, 2);
    if (!r.ok() && attempted == 0 && Unrecoverable(*r.error)) {
      std::cerr << "webquorrel agent: cannot start, no retry would help: " << Describe(r)
                << std::endl;
      throw ExitStatus{kBadInput};
    }
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
                << " s: " << Describe(r) << std::endl;
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
    ThrowFailureOf(last, "could not withdraw from module " + module + ": ");
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
