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
// webquorrel register --module NAME [--login]: the update with state 2.
void AddRegisterCommand(CLI::App& app);
// webquorrel withdraw [--module NAME]: the update with state 0; says when there was no record.
void AddWithdrawCommand(CLI::App& app);
// webquorrel list [--conn CONN] [--json] [--module NAME] [--workstation NAME]: every presence
// record and how the update sees it.
void AddListCommand(CLI::App& app);
// webquorrel init [--conn CONN]: creates SystemSetting and its index where they are missing.
void AddInitCommand(CLI::App& app);

// Thrown by a command that has said all it has to say and ends with this exit status.
struct ExitStatus {
  int code = 0;
};

// webquorrel agent --module NAME [--login] [--interval SECONDS]: registers this workstation now
// and every interval; on SIGINT or SIGTERM withdraws it and exits.
void AddAgentCommand(CLI::App& app);
// webquorrel prune --older-than DURATION [--module NAME] [--dry-run]: removes live records older
// than DURATION by the server's clock.
void AddPruneCommand(CLI::App& app);
// webquorrel doctor [--fix]: reports (and removes) records that would trouble every update;
// exit status 1 when there are any.
void AddDoctorCommand(CLI::App& app);
// webquorrel count [--by-module] [--json]: how many presence records there are.
void AddCountCommand(CLI::App& app);
// webquorrel serve [--listen ADDRESS:PORT]: a read-only web page of who is online.
void AddServeCommand(CLI::App& app);

// webquorrel sample [--history FILE]: records the online workstations per module in the history
// file (cli/history_store.h).
void AddSampleCommand(CLI::App& app);
// webquorrel history [--since WHEN] [--module NAME] [--json|--csv]: the samples and each day's
// peak per module.
void AddHistoryCommand(CLI::App& app);

}  // namespace wq::cli
