#include "frame/trace.h"

#include <chrono>
#include <cstdio>
#include <exception>
#include <vector>

#include "frame/trace_platform.h"
#include "platform/db/secrets.h"
#include "platform/env/env.h"
#include "platform/env/workstation_name.h"

namespace wq::frame {
namespace {

// "2026-12-08T13:41:27Z": the machine's clock in UTC, to the second.
std::string TimeStamp() {
  using namespace std::chrono;
  const auto now = floor<seconds>(Env::Default().Now());
  const auto day = floor<days>(now);
  const year_month_day date{day};
  const hh_mm_ss time{now - day};
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
                static_cast<int>(time.seconds().count()));
  return text;
}

// The workstation name the records carry, in UTF-8; "?" when it cannot be read.
std::string ComputerName() {
  try {
    return ToUtf8(ReadWorkstationName(Env::Default()));
  } catch (const std::exception&) {
    return "?";
  }
}

}  // namespace

std::string DescribeFailure(const Error& error, std::string_view step,
                            const Text& connectionString) {
  std::string line = "UpdateOnlineState failed in step '" + std::string(step) + "': error " +
                     std::to_string(error.number()) + ": " + error.description();
  if (error.fromDatabase()) {
    std::string detail;
    if (!error.sqlstate().empty()) detail = "SQLSTATE " + error.sqlstate();
    if (error.number() != kProviderError) {
      detail += (detail.empty() ? "" : ", ") + std::string("native code ") +
                std::to_string(error.number());
    }
    if (!detail.empty()) line += " (" + detail + ")";
  }
  for (char& c : line) {
    if (c == '\r' || c == '\n' || c == '\t') c = ' ';
  }
  line = db::Secrets::Of(connectionString).Mask(line);
  return line;
}

void TraceFailure(const Error& error, std::string_view step,
                  const Text& connectionString) noexcept {
  try {
    const std::string line = DescribeFailure(error, step, connectionString);
    trace_platform::ToDebugger(u"webQuorrel: " + FromUtf8(line));
    const Text file = trace_platform::TraceFile();
    if (file.empty()) return;
    trace_platform::AppendLine(file,
                               TimeStamp() + " pid " + std::to_string(trace_platform::ProcessId()) +
                                   " " + ComputerName() + " " + line,
                               kTraceFileLimit);
  } catch (...) {
    // The trace is a courtesy: the call's result stands whatever happens here.
  }
}

}  // namespace wq::frame
