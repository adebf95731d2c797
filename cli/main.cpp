// The webquorrel command: one subcommand per file, registered here.
#include <iostream>
#include <optional>
#include <string>

#include "cli/command_errors.h"
#include "cli/commands.h"
#include "cli/connection_option.h"
#include "cli/settings.h"
#include "cli/system.h"
#include "cli/version.h"
#include "platform/error.h"

namespace {

// The first word that is no option of the command itself, when it names no subcommand: CLI11
// would call it an unexpected argument or say that a subcommand is required.
std::optional<std::string> UnknownSubcommand(const CLI::App& app, int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--config") {
      ++i;
      continue;
    }
    if (arg.empty() || arg[0] == '-') continue;
    for (const CLI::App* command : app.get_subcommands({})) {
      if (command->get_name() == arg) return std::nullopt;
    }
    return arg;
  }
  return std::nullopt;
}

}  // namespace

int main(int argc, char** argv) {
  wq::cli::PrepareProcess();
  wq::cli::Utf8Arguments args(argc, argv);
  wq::cli::HideConnectionArguments(argc, argv);  // parsing reads args, a copy
  CLI::App app{"Keeps the register of which workstations are online in which module.",
               "webquorrel"};
  app.footer(wq::cli::kPlatformNotes);
  app.require_subcommand(1);
  // --config and --verbose may also stand after the subcommand.
  app.fallthrough();
  app.set_version_flag("--version", wq::cli::VersionText,
                       "Print the versions of webquorrel, SQLite and the ODBC driver manager");
  std::optional<std::string> config;
  app.add_option_function<std::string>(
         "--config", [&config](const std::string& path) { config = path; },
         "The settings file to read instead of the site's (" +
             (wq::cli::DefaultSettingsPath().empty() ? std::string("none on this platform")
                                                     : wq::cli::DefaultSettingsPath()) +
             "); the environment and the options win over it")
      ->type_name("FILE");
  app.add_flag_callback(
      "-v,--verbose", [] { wq::cli::SetVerbose(true); },
      "Say which register a command opens, and show error numbers and kinds");
  wq::cli::AddSealCommand(app);
  wq::cli::AddUnsealCommand(app);
  wq::cli::AddUpdateCommand(app);
  wq::cli::AddRegisterCommand(app);
  wq::cli::AddWithdrawCommand(app);
  wq::cli::AddListCommand(app);
  wq::cli::AddInitCommand(app);
  wq::cli::AddAgentCommand(app);
  wq::cli::AddPruneCommand(app);
  wq::cli::AddDoctorCommand(app);
  wq::cli::AddCountCommand(app);
  wq::cli::AddServeCommand(app);
  wq::cli::AddSampleCommand(app);
  wq::cli::AddHistoryCommand(app);
  // Runs after every option is read and before the subcommand: the settings file goes into the
  // environment where the environment says nothing, and --verbose names the register.
  app.parse_complete_callback([&app, &config] {
    wq::cli::LoadSettings(config);
    if (!wq::cli::Verbose()) return;
    for (const CLI::App* command : app.get_subcommands()) {
      const CLI::Option* conn = command->get_option_no_throw("--conn");
      if (conn == nullptr) continue;
      std::optional<std::string> value;
      if (conn->count() > 0) value = conn->results().back();
      std::cerr << "webquorrel " << command->get_name() << ": " << wq::cli::DescribeRegister(value)
                << std::endl;
    }
  });

  // "webquorrel seal: ..." names the subcommand that failed.
  auto prefix = [&app] {
    const auto commands = app.get_subcommands();
    return commands.empty() ? std::string("webquorrel: ")
                            : "webquorrel " + commands.front()->get_name() + ": ";
  };
  if (const auto unknown = UnknownSubcommand(app, args.argc(), args.argv())) {
    std::cerr << "webquorrel: unknown subcommand '" << *unknown
              << "'; see webquorrel --help for the subcommands\n";
    return wq::cli::kBadInput;
  }
  try {
    app.parse(args.argc(), args.argv());
  } catch (const CLI::ParseError& e) {
    return app.exit(e) == 0 ? 0 : wq::cli::kBadInput;
  } catch (const wq::cli::ExitStatus& e) {
    return e.code;
  } catch (const wq::Error& e) {
    std::cerr << prefix() << wq::cli::Explain(e) << '\n';
    return wq::cli::ExitStatusFor(e);
  }
  return 0;
}
