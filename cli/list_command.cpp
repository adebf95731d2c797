#include <algorithm>
#include <iostream>
#include <memory>
#include <optional>

#include "cli/commands.h"
#include "cli/connection_option.h"
#include "cli/list_output.h"
#include "cli/settings.h"
#include "platform/db/register.h"
#include "presence/presence_rows.h"
#include "presence/server_time.h"

namespace wq::cli {

void AddListCommand(CLI::App& app) {
  struct Options : DatabaseOptions {
    bool json = false;
    std::optional<Text> module;
    std::optional<Text> workstation;
  };
  std::shared_ptr<Options> options;
  CLI::App* command = AddDatabaseCommand(
      app, options, "list", "Show every presence record as this workstation's update sees it");
  command->add_flag(
      "--json", options->json,
      "One JSON array of {id, workstation, time, timeIso, ageSeconds, module, login, kind}");
  command->add_option_function<std::string>(
      "--module", [options](const std::string& m) { options->module = FromUtf8(m); },
      "Only records of this module (exact name; a record without one has the empty name)");
  command->add_option_function<std::string>(
      "--workstation", [options](const std::string& w) { options->workstation = FromUtf8(w); },
      "Only records of this workstation (letter case ignored)");
  command->callback([options] {
    auto reg = db::Register::Open(LookingConnection(options->conn), db::Access::kReadOnly);
    const std::optional<db::DateTime> now =
        presence::ParseDate(presence::ReadServerTimeText(*reg));
    auto records = presence::ReadPresenceRows(*reg, /*judgeOwn=*/true);
    reg->Close();
    std::erase_if(records, [&](const presence::PresenceRow& r) {
      if (options->module && r.module != *options->module) return true;
      return options->workstation && (r.kind == presence::RecordKind::kUnreadable ||
                                      !EqualsIgnoreCase(r.workstation, *options->workstation));
    });
    if (options->json) {
      std::cout << RecordsAsJson(records, now);
    } else {
      std::cout << DescribeRegister(options->conn) << '\n' << RecordsAsTable(records, now);
    }
    std::cout.flush();
  });
}

}  // namespace wq::cli
