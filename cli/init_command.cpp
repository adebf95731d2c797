#include <iostream>
#include <memory>
#include <optional>

#include "cli/commands.h"
#include "cli/connection_option.h"
#include "cli/schema.h"
#include "platform/db/register.h"

namespace wq::cli {

void AddInitCommand(CLI::App& app) {
  auto conn = std::make_shared<std::optional<std::string>>();
  CLI::App* command = app.add_subcommand("init",
                                         "Create the SystemSetting table, with its index, where it "
                                         "is missing (an existing table is left as it is)");
  AddConnOption(*command, *conn);
  command->callback([conn] {
    const ConnectionChoice choice = ChooseConnection(*conn);
    bool created = false;
    if (choice.embedded) {
      PrepareConnection(*conn, &created);  // creates the folder, the file and the table
    } else {
      auto reg = db::Register::Open(choice.connectionString);
      created = ApplySchema(*reg);
      reg->Close();
    }
    if (created) {
      std::cout << "SystemSetting created, with its index on ssDesc" << std::endl;
    } else {
      std::cout << "SystemSetting exists already: left as it is" << std::endl;
    }
  });
}

}  // namespace wq::cli
