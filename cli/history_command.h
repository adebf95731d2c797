// What `serve` takes from the history commands: the --history option and the page's chart.
#pragma once

#include <CLI/CLI.hpp>
#include <optional>
#include <string>

namespace wq::cli {

// Adds --history FILE; history stays empty when it is not given.
void AddHistoryOption(CLI::App& command, std::optional<std::string>& history);

// The page with the chart of the history file (--history, else the default) in place of its
// mark; a file that cannot be read is said on the page instead.
std::string PageWithHistory(const std::string& page, const std::optional<std::string>& history);

}  // namespace wq::cli
