#include <iostream>
#include <memory>
#include <optional>

#include "cli/commands.h"
#include "cli/connection_option.h"
#include "cli/settings.h"
#include "cli/terminal_text.h"
#include "platform/db/connection_warning.h"
#include "presence/maintenance.h"

namespace wq::cli {
namespace {

std::string IdText(const presence::PresenceRow& row) {
  if (row.number) return std::to_string(*row.number);
  if (row.id.IsText()) return QuotedPrintable(row.id.text());
  return row.id.IsNull() ? "null" : "(not a whole number)";
}

}  // namespace

// What `webquorrel doctor --help` says the command does.
constexpr char kDoctorHelp[] =
    "Report presence records that would trouble any workstation's update; exit status 1 when "
    "there are any";

void AddDoctorCommand(CLI::App& app) {
  struct Options : DatabaseOptions {
    bool fix = false;
  };
  std::shared_ptr<Options> options;
  CLI::App* command = AddDatabaseCommand(app, options, "doctor", kDoctorHelp);
  command->add_flag("--fix", options->fix,
                    "Remove unreadable records and older duplicates, keeping the newest");
  command->callback([options] {
    std::cout << DescribeRegister(options->conn) << std::endl;
    const Text connection = options->fix ? PrepareConnection(options->conn)
                                         : LookingConnection(options->conn);
    if (const std::string warning = db::ConnectionWarning(connection); !warning.empty()) {
      std::cout << "warning: " << warning << '\n';
    }
    const presence::DoctorReport report = presence::Doctor(connection, options->fix);
    for (const presence::Finding& f : report.findings) {
      std::cout << "id " << IdText(f.row) << ": " << presence::TroubleName(f.trouble) << ": "
                << Printable(FromUtf8(f.reason)) << '\n';
    }
    for (int64_t id : report.removed) std::cout << "removed id " << id << '\n';
    if (report.healthy()) {
      std::cout << "no problems found" << std::endl;
      return;
    }
    std::cout << report.findings.size()
              << (report.findings.size() == 1 ? " problem found" : " problems found");
    if (options->fix) {
      std::cout << ", " << report.removed.size()
                << (report.removed.size() == 1 ? " record removed" : " records removed");
    }
    std::cout << std::endl;
    throw ExitStatus{1};
  });
}

}  // namespace wq::cli
