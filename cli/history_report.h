// What `webquorrel history` prints and the page's chart shows, computed from stored samples: the
// peak of online workstations per module and day, times as text, and the three output forms.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/history_store.h"

namespace wq::cli {

// "2026-12-09T12:05:00Z" (UTC).
std::string UtcTimeText(int64_t unixSeconds);

// The --since argument as Unix seconds: a duration before now ("90m", "24h", "30d", as prune
// takes them) or a UTC date or time ("2026-12-01", "2026-12-01T08:00:00Z", "2026-12-01 08:00").
// Raises invalid procedure call for anything else.
int64_t ParseSince(const std::string& text, int64_t now);

struct DayPeak {
  std::string day;  // "2026-12-09" (UTC)
  Text module;
  int64_t peak = 0;
  int64_t at = 0;  // when it was first reached
};

// Per UTC day and module, the highest count and when it was first reached; by day, then module.
std::vector<DayPeak> DailyPeaks(const std::vector<HistorySample>& samples);
// The highest count of each module and when it was first reached, by module.
std::vector<ModuleOnline> Peaks(const std::vector<HistorySample>& samples);

// Only the counts of one module (samples without it keep their time with no counts).
std::vector<HistorySample> OnlyModule(std::vector<HistorySample> samples, const Text& module);

// {"samples": [{"time", "hour": bool, "modules": [{"module", "online", "time"}]}],
//  "peaks": [{"day", "module", "peak", "time"}]}
std::string HistoryJson(const std::vector<HistorySample>& samples);
// "kind,time,module,online": one "sample" line per module and sample, one "peak" line per day and
// module (the peak's time); texts quoted as RFC 4180 asks.
std::string HistoryCsv(const std::vector<HistorySample>& samples);
// The samples as "time  module=online ..." lines, then "peak DAY MODULE N at TIME" lines.
std::string HistoryText(const std::vector<HistorySample>& samples);

}  // namespace wq::cli
