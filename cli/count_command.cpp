#include <iostream>
#include <memory>
#include <optional>

#include "cli/commands.h"
#include "cli/connection_option.h"
#include "cli/json.h"
#include "cli/terminal_text.h"
#include "platform/db/register.h"
#include "presence/counting.h"

namespace wq::cli {

void AddCountCommand(CLI::App& app) {
  struct Options : DatabaseOptions {
    bool byModule = false;
    bool json = false;
  };
  std::shared_ptr<Options> options;
  CLI::App* command =
      AddDatabaseCommand(app, options, "count", "Print how many presence records there are");
  command->add_flag("--by-module", options->byModule,
                    "One line per module: the count, a tab, the module name");
  command->add_flag("--json", options->json, "{\"total\": N, \"modules\": [{module, count}]}");
  command->callback([options] {
    auto reg = db::Register::Open(LookingConnection(options->conn), db::Access::kReadOnly);
    if (!options->byModule && !options->json) {
      std::cout << presence::CountPresenceRecords(*reg) << std::endl;
      reg->Close();
      return;
    }
    const std::vector<presence::ModuleCount> counts = presence::CountByModule(*reg);
    reg->Close();
    if (options->json) {
      int64_t total = 0;
      Json modules = Json::array();
      for (const auto& c : counts) {
        total += c.count;
        modules.push_back({{"module", JsonText(c.module)}, {"count", c.count}});
      }
      std::cout << Dump({{"total", total}, {"modules", modules}}) << std::endl;
      return;
    }
    for (const auto& c : counts) std::cout << c.count << '\t' << Printable(c.module) << '\n';
    std::cout.flush();
  });
}

}  // namespace wq::cli
