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

}  // namespace wq::cli
