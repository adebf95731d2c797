// The subcommands of the webquorrel command. Each lives in a file of its own and registers
// itself on the application with one function. A command reports failure by throwing
// wq::Error; main turns that into a one-line message and the exit status.
#pragma once

#include <CLI/CLI.hpp>

namespace wq::cli {

// webquorrel seal [--key KEY] TEXT: prints TEXT as sealed hex text.
void AddSealCommand(CLI::App& app);
// webquorrel unseal [--key KEY] HEX: prints the text that sealed hex text holds.
void AddUnsealCommand(CLI::App& app);

// webquorrel update [--conn CONN] [--state N] [--module NAME] [--login]: runs the presence
// update and prints the count; exit status 1 (count 0) when it failed.
void AddUpdateCommand(CLI::App& app);
// webquorrel list [--conn CONN] [--json]: every presence record and how the update sees it.
void AddListCommand(CLI::App& app);
// webquorrel init [--conn CONN]: creates SystemSetting and its index where they are missing.
void AddInitCommand(CLI::App& app);

}  // namespace wq::cli
