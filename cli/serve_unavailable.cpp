// `webquorrel serve` where the HTTP library is not available (the Windows build): the subcommand
// is known, takes the same options, and says why it cannot run.
#include <memory>
#include <optional>

#include "cli/commands.h"
#include "cli/connection_option.h"
#include "platform/error.h"

namespace wq::cli {

void AddServeCommand(CLI::App& app) {
  struct Options {
    std::optional<std::string> conn;
    std::string listen;
  };
  auto options = std::make_shared<Options>();
  CLI::App* command =
      app.add_subcommand("serve", "Not available on Windows: use serve of the Linux command");
  AddConnOption(*command, options->conn);
  command->add_option("--listen", options->listen, "ADDRESS:PORT (ignored)");
  command->callback([] {
    throw Error(kInvalidProcedureCall,
                "serve is not available on Windows (its HTTP library is not part of this build); "
                "run serve of the Linux command, or use list --json");
  });
}

}  // namespace wq::cli
