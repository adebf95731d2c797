#include "cli/history_report.h"

#include <chrono>
#include <cstdio>
#include <map>
#include <regex>

#include "cli/json.h"
#include "cli/terminal_text.h"
#include "platform/error.h"
#include "presence/age.h"

namespace wq::cli {
namespace {

using std::chrono::days;
using std::chrono::sys_days;

std::string DayText(int64_t unixSeconds) {
  const int64_t d = (unixSeconds >= 0 ? unixSeconds : unixSeconds - 86399) / 86400;
  const std::chrono::year_month_day ymd{sys_days{days{d}}};
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%04d-%02u-%02u", static_cast<int>(ymd.year()),
                static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()));
  return buffer;
}

std::string CsvField(const std::string& s) {
  if (s.find_first_of(",\"\r\n") == std::string::npos) return s;
  std::string out = "\"";
  for (char c : s) out += c == '"' ? std::string("\"\"") : std::string(1, c);
  return out + "\"";
}

}  // namespace

std::string UtcTimeText(int64_t unixSeconds) {
  const int64_t second = ((unixSeconds % 86400) + 86400) % 86400;
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "T%02d:%02d:%02dZ", static_cast<int>(second / 3600),
                static_cast<int>(second / 60 % 60), static_cast<int>(second % 60));
  return DayText(unixSeconds) + buffer;
}

int64_t ParseSince(const std::string& text, int64_t now) {
  static const std::regex date(
      R"(([0-9]{4})-([0-9]{2})-([0-9]{2})(?:[T ]([0-9]{2}):([0-9]{2})(?::([0-9]{2}))?Z?)?)");
  std::smatch m;
  if (std::regex_match(text, m, date)) {
    const std::chrono::year_month_day ymd{std::chrono::year{std::stoi(m[1])},
                                          std::chrono::month{unsigned(std::stoi(m[2]))},
                                          std::chrono::day{unsigned(std::stoi(m[3]))}};
    const int h = m[4].matched ? std::stoi(m[4]) : 0;
    const int min = m[5].matched ? std::stoi(m[5]) : 0;
    const int s = m[6].matched ? std::stoi(m[6]) : 0;
    if (!ymd.ok() || h > 23 || min > 59 || s > 59) {
      throw Error(kInvalidProcedureCall, "--since: no such date or time: " + text);
    }
    return sys_days{ymd}.time_since_epoch().count() * int64_t{86400} + h * 3600 + min * 60 + s;
  }
  try {
    return now - presence::ParseDuration(text);
  } catch (const Error&) {
    throw Error(kInvalidProcedureCall,
                "--since takes a duration (90m, 24h, 30d) or a UTC date or time "
                "(2026-12-01, 2026-12-01T08:00:00Z), not: " +
                    text);
  }
}

std::vector<DayPeak> DailyPeaks(const std::vector<HistorySample>& samples) {
  std::map<std::pair<std::string, Text>, DayPeak> peaks;
  for (const HistorySample& s : samples) {
    for (const ModuleOnline& m : s.modules) {
      DayPeak candidate{DayText(m.at), m.module, m.online, m.at};
      auto [it, added] = peaks.try_emplace({candidate.day, m.module}, candidate);
      if (!added &&
          (m.online > it->second.peak || (m.online == it->second.peak && m.at < it->second.at))) {
        it->second = candidate;
      }
    }
  }
  std::vector<DayPeak> out;
  for (auto& [key, p] : peaks) out.push_back(std::move(p));
  return out;
}

std::vector<ModuleOnline> Peaks(const std::vector<HistorySample>& samples) {
  std::map<Text, ModuleOnline> peaks;
  for (const HistorySample& s : samples) {
    for (const ModuleOnline& m : s.modules) {
      auto [it, added] = peaks.try_emplace(m.module, m);
      if (!added && (m.online > it->second.online ||
                     (m.online == it->second.online && m.at < it->second.at))) {
        it->second = m;
      }
    }
  }
  std::vector<ModuleOnline> out;
  for (auto& [module, m] : peaks) out.push_back(m);
  return out;
}

std::vector<HistorySample> OnlyModule(std::vector<HistorySample> samples, const Text& module) {
  for (HistorySample& s : samples) {
    std::erase_if(s.modules, [&](const ModuleOnline& m) { return m.module != module; });
  }
  return samples;
}

std::string HistoryJson(const std::vector<HistorySample>& samples) {
  Json list = Json::array();
  for (const HistorySample& s : samples) {
    Json modules = Json::array();
    for (const ModuleOnline& m : s.modules) {
      modules.push_back(
          {{"module", JsonText(m.module)}, {"online", m.online}, {"time", UtcTimeText(m.at)}});
    }
    list.push_back({{"time", UtcTimeText(s.taken)}, {"hour", s.hour}, {"modules", modules}});
  }
  Json peaks = Json::array();
  for (const DayPeak& p : DailyPeaks(samples)) {
    peaks.push_back({{"day", p.day},
                     {"module", JsonText(p.module)},
                     {"peak", p.peak},
                     {"time", UtcTimeText(p.at)}});
  }
  return Dump({{"samples", list}, {"peaks", peaks}}) + "\n";
}

std::string HistoryCsv(const std::vector<HistorySample>& samples) {
  std::string out = "kind,time,module,online\r\n";
  for (const HistorySample& s : samples) {
    for (const ModuleOnline& m : s.modules) {
      out += std::string(s.hour ? "hour" : "sample") + "," + UtcTimeText(m.at) + "," +
             CsvField(ToUtf8(m.module)) + "," + std::to_string(m.online) + "\r\n";
    }
  }
  for (const DayPeak& p : DailyPeaks(samples)) {
    out += "peak," + UtcTimeText(p.at) + "," + CsvField(ToUtf8(p.module)) + "," +
           std::to_string(p.peak) + "\r\n";
  }
  return out;
}

std::string HistoryText(const std::vector<HistorySample>& samples) {
  std::string out;
  for (const HistorySample& s : samples) {
    out += UtcTimeText(s.taken) + (s.hour ? " (hour's peak)" : "");
    for (const ModuleOnline& m : s.modules) {
      out += "  " + QuotedPrintable(m.module) + "=" + std::to_string(m.online);
    }
    out += "\n";
  }
  for (const DayPeak& p : DailyPeaks(samples)) {
    out += "peak " + p.day + " " + QuotedPrintable(p.module) + " " + std::to_string(p.peak) +
           " at " + UtcTimeText(p.at) + "\n";
  }
  return out;
}

}  // namespace wq::cli
