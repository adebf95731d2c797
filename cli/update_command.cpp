#include <iostream>
#include <memory>
#include <optional>

#include "cli/commands.h"
#include "cli/connection_option.h"
#include "platform/error.h"
#include "presence/update.h"

namespace wq::cli {

void AddUpdateCommand(CLI::App& app) {
  struct Options {
    std::optional<std::string> conn;
    int16_t state = 0;
    std::string module;
    bool login = false;
  };
  auto options = std::make_shared<Options>();
  CLI::App* command = app.add_subcommand(
      "update",
      "Prune this workstation's presence records, repair damaged ones, register it when --state "
      "is 2, and print how many presence records there are (0 on failure)");
  AddConnOption(*command, options->conn);
  command->add_option("--state", options->state, "2 registers this workstation; others only prune")
      ->default_val(0);
  command->add_option("--module", options->module,
                      "The module: limits the prune, names the record");
  command->add_flag("--login", options->login, "Mark the new record as logged in");
  command->callback([options] {
    presence::UpdateResult result;
    try {
      result = presence::RunUpdate(PrepareConnection(options->conn), options->state,
                                   FromUtf8(options->module), options->login);
    } catch (const Error& e) {
      result.error = e;  // the default database could not be prepared
    }
    std::cout << (result.ok() ? result.count : 0) << std::endl;
    if (!result.ok()) {
      // The update failed: reported like any failure of the register (exit status 1).
      throw DatabaseError(
          result.error->number(), "",
          "error " + std::to_string(result.error->number()) + ": " + result.error->description());
    }
  });
}

}  // namespace wq::cli
