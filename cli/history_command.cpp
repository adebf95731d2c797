// webquorrel sample and webquorrel history: recording who is online per module, and reading it
// back with the peak of each day.
#include "cli/history_command.h"

#include <chrono>
#include <iostream>
#include <memory>
#include <optional>

#include "cli/commands.h"
#include "cli/connection_option.h"
#include "cli/history_chart.h"
#include "cli/history_report.h"
#include "cli/history_store.h"
#include "platform/env/env.h"
#include "presence/online.h"

namespace wq::cli {

int64_t UnixNow() {
  return std::chrono::floor<std::chrono::seconds>(Env::Default().Now()).time_since_epoch().count();
}

void AddHistoryOption(CLI::App& command, std::optional<std::string>& history) {
  command.add_option_function<std::string>(
      "--history", [&history](const std::string& value) { history = value; },
      "The history file (default: history.db beside the embedded database; on Windows "
      "%LOCALAPPDATA%\\webquorrel\\history.db)");
}

std::string HistoryPath(const std::optional<std::string>& flag) {
  return flag ? *flag : DefaultHistoryPath();
}

std::string PageWithHistory(const std::string& page, const std::optional<std::string>& history) {
  const int64_t now = UnixNow();
  std::string chart;
  try {
    std::unique_ptr<HistoryStore> store = HistoryStore::Open(HistoryPath(history), false);
    std::vector<HistorySample> samples;
    if (store) samples = store->Read(now - 30 * 86400);
    chart = HistoryChartHtml(store ? &samples : nullptr, now);
  } catch (const std::exception& e) {
    chart = "<section id=\"history\"><p id=\"history-failed\">Cannot read the history: " +
            HtmlEscape(e.what()) + "</p></section>\n";
  }
  return PageWithChart(page, chart);
}

void AddSampleCommand(CLI::App& app) {
  struct Options : DatabaseOptions {
    std::optional<std::string> history;
  };
  std::shared_ptr<Options> options;
  CLI::App* command = AddDatabaseCommand(
      app, options, "sample",
      "Record how many workstations are online per module in the history file (run it every "
      "minute)");
  AddHistoryOption(*command, options->history);
  command->callback([options] {
    const presence::OnlineSnapshot snapshot =
        presence::ReadOnline(PrepareConnection(options->conn));
    std::vector<ModuleOnline> counts;
    for (const presence::OnlineModule& m : snapshot.modules) {
      counts.push_back({m.module, static_cast<int64_t>(m.entries.size()), 0});
    }
    HistoryStore::Open(HistoryPath(options->history), true)->Record(UnixNow(), counts);
  });
}

void AddHistoryCommand(CLI::App& app) {
  struct Options {
    std::optional<std::string> history;
    std::string since = "24h";
    std::optional<std::string> module;
    bool json = false;
    bool csv = false;
  };
  auto options = std::make_shared<Options>();
  CLI::App* command = app.add_subcommand(
      "history",
      "Print the recorded samples and each day's peak of online workstations per module");
  AddHistoryOption(*command, options->history);
  command
      ->add_option("--since", options->since,
                   "A duration back from now (90m, 24h, 30d) or a UTC date or time "
                   "(2026-12-01, 2026-12-01T08:00:00Z)")
      ->default_str("24h");
  command->add_option_function<std::string>(
      "--module", [options](const std::string& m) { options->module = m; },
      "Only this module (exact name)");
  auto* json = command->add_flag("--json", options->json,
                                 "{\"samples\": [...], \"peaks\": [{day, module, peak, time}]}");
  command->add_flag("--csv", options->csv, "kind,time,module,online lines")->excludes(json);
  command->callback([options] {
    const int64_t since = ParseSince(options->since, UnixNow());
    const std::string path = HistoryPath(options->history);
    std::vector<HistorySample> samples;
    if (auto store = HistoryStore::Open(path, false)) {
      samples = store->Read(since);
    } else if (!options->json && !options->csv) {
      std::cerr << "no history yet at " << path << ": run webquorrel sample every minute"
                << std::endl;
    }
    if (options->module) samples = OnlyModule(std::move(samples), FromUtf8(*options->module));
    std::cout << (options->json  ? HistoryJson(samples)
                  : options->csv ? HistoryCsv(samples)
                                 : HistoryText(samples));
    std::cout.flush();
  });
}

}  // namespace wq::cli
