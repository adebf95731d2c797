#include <iostream>
#include <memory>
#include <optional>

#include "cli/commands.h"
#include "cli/connection_option.h"
#include "cli/schema.h"
#include "platform/db/connection.h"

namespace wq::cli {

void AddInitCommand(CLI::App& app) {
  auto conn = std::make_shared<std::optional<std::string>>();
  CLI::App* command = app.add_subcommand(
      "init", "Create the SystemSetting table and its index where they are missing");
  AddConnOption(*command, *conn);
  command->callback([conn] {
    const ConnectionChoice choice = ChooseConnection(*conn);
    if (choice.embedded) {
      PrepareConnection(*conn);  // creates the folder, the file and the table
    } else {
      auto connection = db::Connection::Open(choice.connectionString);
      ApplySchema(*connection);
      connection->Close();
    }
    std::cout << "SystemSetting is ready" << std::endl;
  });
}

}  // namespace wq::cli
