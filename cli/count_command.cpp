#include <iostream>
#include <memory>
#include <optional>

#include "cli/commands.h"
#include "cli/connection_option.h"
#include "cli/json.h"
#include "cli/terminal_text.h"
#include "platform/db/connection.h"
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
    auto conn = db::Connection::Open(PrepareConnection(options->conn));
    if (!options->byModule && !options->json) {
      std::cout << presence::CountPresenceRecords(*conn) << std::endl;
      conn->Close();
      return;
    }
    const std::vector<presence::ModuleCount> counts = presence::CountByModule(*conn);
    conn->Close();
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
