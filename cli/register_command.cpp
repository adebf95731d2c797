// webquorrel register and withdraw: the update with a verb instead of a state number.
#include <iostream>
#include <memory>
#include <optional>

#include "cli/commands.h"
#include "cli/connection_option.h"
#include "cli/terminal_text.h"
#include "cli/update_result.h"
#include "platform/db/register.h"
#include "presence/module_state.h"
#include "presence/presence_rows.h"

namespace wq::cli {
namespace {

// How many of this workstation's own records the module holds (every module when none is named).
size_t OwnRecords(const Text& conn, const std::optional<std::string>& module) {
  auto reg = db::Register::Open(conn, db::Access::kReadOnly);
  size_t count = 0;
  for (const presence::PresenceRow& r : presence::ReadPresenceRows(*reg, true)) {
    if (r.kind == presence::RecordKind::kOwn && (!module || r.module == FromUtf8(*module))) {
      ++count;
    }
  }
  reg->Close();
  return count;
}

std::string InModule(const std::optional<std::string>& module) {
  return module ? "module " + QuotedPrintable(FromUtf8(*module)) : std::string("any module");
}

}  // namespace

void AddRegisterCommand(CLI::App& app) {
  struct Options : DatabaseOptions {
    std::string module;
    bool login = false;
  };
  std::shared_ptr<Options> options;
  CLI::App* command = AddDatabaseCommand(
      app, options, "register",
      "Register this workstation in a module (replacing its earlier record there) and print how "
      "many presence records there are");
  command->add_option("--module", options->module, "The module to be registered in")->required();
  command->add_flag("--login", options->login, "Mark the record as logged in");
  command->callback([options] {
    const presence::UpdateResult r =
        RunOnRegister(options->conn, 2, options->module, options->login);
    if (!r.ok()) ThrowFailureOf(r);
    std::cout << "registered " << QuotedPrintable(presence::WorkstationName()) << " in "
              << InModule(options->module) << " (" << r.count << " presence records)" << std::endl;
  });
}

void AddWithdrawCommand(CLI::App& app) {
  struct Options : DatabaseOptions {
    std::optional<std::string> module;
  };
  std::shared_ptr<Options> options;
  CLI::App* command = AddDatabaseCommand(
      app, options, "withdraw",
      "Remove this workstation's records, of one module or of all; says so when there was none "
      "(exit status 0 either way: afterwards it is not registered)");
  command->add_option_function<std::string>(
      "--module", [options](const std::string& m) { options->module = m; },
      "Only the record of this module (exact name; default: every module)");
  command->callback([options] {
    if (options->module && options->module->empty()) {
      throw Error::InvalidProcedureCall(
          "--module needs a name: the update reads an empty module as every module (leave "
          "--module out to withdraw from all)");
    }
    const Text conn = PrepareConnection(options->conn);
    const size_t before = OwnRecords(conn, options->module);
    const presence::UpdateResult r =
        RunOnRegister(options->conn, 0, options->module.value_or(""), false);
    if (!r.ok()) ThrowFailureOf(r);
    const std::string who = QuotedPrintable(presence::WorkstationName());
    if (before == 0) {
      std::cout << who << " had no record in " << InModule(options->module)
                << "; nothing withdrawn (" << r.count << " presence records)" << std::endl;
      return;
    }
    std::cout << "withdrew " << who << " from " << InModule(options->module) << " (" << r.count
              << " presence records left)" << std::endl;
  });
}

}  // namespace wq::cli
