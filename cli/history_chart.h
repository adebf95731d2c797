// The page's chart of online workstations per module: inline SVG drawn here, so that the page
// needs no script or style from anywhere else.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cli/history_store.h"

namespace wq::cli {

// An HTML fragment: a section with one chart of the last 24 hours and one of the last 30 days,
// one line per module, each module's peak marked with its count and time (the marker is a
// <g class="peak" data-module=... data-online=... data-time=...>). With `samples` null (no
// history file) or empty, a paragraph that says how to start recording instead.
std::string HistoryChartHtml(const std::vector<HistorySample>* samples, int64_t now);

// The page with the fragment in place of its "<!--history-->" mark.
std::string PageWithChart(std::string page, const std::string& chartHtml);

// Text for HTML content and attribute values: & < > " ' as character references.
std::string HtmlEscape(const std::string& utf8);

}  // namespace wq::cli
