#include <iostream>
#include <memory>
#include <optional>

#include "cli/commands.h"
#include "cli/connection_option.h"
#include "cli/list_output.h"
#include "presence/listing.h"

namespace wq::cli {

void AddListCommand(CLI::App& app) {
  struct Options {
    std::optional<std::string> conn;
    bool json = false;
  };
  auto options = std::make_shared<Options>();
  CLI::App* command =
      app.add_subcommand("list", "Show every presence record as this workstation's update sees it");
  AddConnOption(*command, options->conn);
  command->add_flag("--json", options->json,
                    "One JSON array of {id, workstation, time, module, login, kind}");
  command->callback([options] {
    const auto records = presence::ListPresenceRecords(PrepareConnection(options->conn));
    std::cout << (options->json ? RecordsAsJson(records) : RecordsAsTable(records));
    std::cout.flush();
  });
}

}  // namespace wq::cli
