// The webquorrel command: one subcommand per file, registered here.
#include <algorithm>
#include <iostream>
#include <string>

#include "cli/commands.h"
#include "cli/system.h"
#include "cli/version.h"
#include "platform/error.h"

namespace {

// Exit statuses: 0 success, 1 a database failure, 2 bad input or usage.
constexpr int kDatabaseFailure = 1;
constexpr int kBadInput = 2;

std::string OneLine(std::string text) {
  std::replace(text.begin(), text.end(), '\n', ' ');
  std::replace(text.begin(), text.end(), '\r', ' ');
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  wq::cli::PrepareProcess();
  wq::cli::Utf8Arguments args(argc, argv);
  CLI::App app{"Keeps the register of which workstations are online in which module.",
               "webquorrel"};
  app.footer(wq::cli::kPlatformNotes);
  app.require_subcommand(1);
  app.set_version_flag("--version", wq::cli::VersionText,
                       "Print the versions of webquorrel, SQLite and the ODBC driver manager");
  wq::cli::AddSealCommand(app);
  wq::cli::AddUnsealCommand(app);
  wq::cli::AddUpdateCommand(app);
  wq::cli::AddListCommand(app);
  wq::cli::AddInitCommand(app);
  wq::cli::AddAgentCommand(app);
  wq::cli::AddPruneCommand(app);
  wq::cli::AddDoctorCommand(app);
  wq::cli::AddCountCommand(app);
  wq::cli::AddServeCommand(app);
  wq::cli::AddSampleCommand(app);
  wq::cli::AddHistoryCommand(app);

  // "webquorrel seal: ..." names the subcommand that failed.
  auto prefix = [&app] {
    const auto commands = app.get_subcommands();
    return commands.empty() ? std::string("webquorrel: ")
                            : "webquorrel " + commands.front()->get_name() + ": ";
  };
  try {
    app.parse(args.argc(), args.argv());
  } catch (const CLI::ParseError& e) {
    return app.exit(e) == 0 ? 0 : kBadInput;
  } catch (const wq::cli::ExitStatus& e) {
    return e.code;
  } catch (const wq::DatabaseError& e) {
    std::cerr << prefix() << OneLine(e.what()) << '\n';
    return kDatabaseFailure;
  } catch (const wq::Error& e) {
    std::cerr << prefix() << OneLine(e.what()) << '\n';
    return kBadInput;
  }
  return 0;
}
