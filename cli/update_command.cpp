#include <iostream>
#include <memory>
#include <optional>

#include "cli/commands.h"
#include "cli/connection_option.h"
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
    std::optional<Error> last_error;
    int failures = 0;
    try {
      const Text conn = PrepareConnection(options->conn);
      for (int i = 1; i <= options->repeat; ++i) {
        const presence::UpdateResult result =
            presence::UpdateOnlineState(conn, options->state, FromUtf8(options->module), options->login);
        std::cout << (result.ok() ? result.count : 0) << std::endl;  // seen as it happens
        if (result.ok()) continue;
        ++failures;
        last_error = result.error;
        if (options->repeat > 1) {
          std::string description = result.error->description();
          for (char& c : description) {
            if (c == '\n' || c == '\r' || c == '\t') c = ' ';  // one line per failure
          }
          std::cerr << "webquorrel update: update " << i << " of " << options->repeat
                    << " failed: error " << result.error->number() << ": " << description
                    << std::endl;
        }
      }
    } catch (const Error& e) {
      std::cout << 0 << std::endl;  // the default database could not be prepared
      ++failures;
      last_error = e;
    }
    if (!last_error) return;
    // A failed update is reported like any failure of the register (exit status 1).
    std::string what =
        "error " + std::to_string(last_error->number()) + ": " + last_error->description();
    if (failures > 1) {
      what = std::to_string(failures) + " of " + std::to_string(options->repeat) +
             " updates failed; the last with " + what;
    }
    throw DatabaseError(last_error->number(), "", what);
  });
}

}  // namespace wq::cli
