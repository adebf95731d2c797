#include "frame/trace.h"

#include <chrono>
#include <cstdio>
#include <exception>
#include <vector>

#include "frame/trace_platform.h"
#include "platform/db/secrets.h"
#include "platform/host/host.h"
#include "platform/text/ansi.h"

namespace wq::frame {
namespace {

// "2026-12-08T13:41:27Z": UTC, to the second.
std::string TimeStamp() {
  using namespace std::chrono;
  const auto now = floor<seconds>(system_clock::now());
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

// The workstation name: the computer name in upper case, from the ANSI code page to UTF-8.
std::string ComputerName() {
  char name[256] = {};
  if (!Host::Default().GetComputerNameA(name, sizeof name)) return "?";
  const std::string_view bytes(name);
  return ToUtf8(ToUpper(AnsiCodePage::Process().Decode(
      reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size())));
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
