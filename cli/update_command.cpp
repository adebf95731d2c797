#include <iostream>
#include <memory>
#include <optional>

#include "cli/command_errors.h"
#include "cli/commands.h"
#include "cli/connection_option.h"
#include "cli/update_result.h"
#include "platform/error.h"
#include "presence/update.h"

namespace wq::cli {

void AddUpdateCommand(CLI::App& app) {
  struct Options : DatabaseOptions {
    int16_t state = 0;
    std::string module;
    bool login = false;
    int repeat = 1;
  };
  std::shared_ptr<Options> options;
  CLI::App* command = AddDatabaseCommand(
      app, options, "update",
      "Prune this workstation's presence records, repair damaged ones, register it when --state "
      "is 2, and print how many presence records there are (0 on failure)");
  command->add_option("--state", options->state, "2 registers this workstation; others only prune")
      ->default_val(0);
  command->add_option("--module", options->module,
                      "The module: limits the prune, names the record");
  command->add_flag("--login", options->login, "Mark the new record as logged in");
  command
      ->add_option("--repeat", options->repeat,
                   "Run the update this many times in a row in this process, as a host calling "
                   "it again and again does; prints each count")
      ->check(CLI::Range(1, 1000000));
  command->callback([options] {
    std::optional<presence::UpdateResult> last_failure;
    int failures = 0;
    for (int i = 1; i <= options->repeat; ++i) {
      const presence::UpdateResult result =
          RunOnRegister(options->conn, options->state, options->module, options->login);
      std::cout << (result.ok() ? result.count : 0) << std::endl;  // seen as it happens
      if (result.ok()) continue;
      ++failures;
      last_failure = result;
      if (options->repeat > 1) {
        std::cerr << "webquorrel update: update " << i << " of " << options->repeat
                  << " failed: " << Explain(*result.error) << std::endl;
      }
      if (i == 1 && Unrecoverable(*result.error)) break;  // every repetition would fail so
    }
    if (!last_failure) return;
    // A failed update is reported like any failure of the register.
    std::string before;
    if (failures > 1) {
      before = std::to_string(failures) + " of " + std::to_string(options->repeat) +
               " updates failed; the last: ";
    }
    ThrowFailureOf(*last_failure, before, /*badInputApart=*/false);  // always status 1 (or 3)
  });
}

}  // namespace wq::cli
