#include "cli/metrics.h"

#include <algorithm>
#include <cstdio>

namespace wq::cli {

const char kExpositionContentType[] = "text/plain; version=0.0.4; charset=utf-8";

namespace {

void Family(std::string& out, const char* name, const char* type, const char* help) {
  out += std::string("# HELP ") + name + " " + help + "\n# TYPE " + name + " " + type + "\n";
}

void Sample(std::string& out, const char* name, int64_t value) {
  out += std::string(name) + " " + std::to_string(value) + "\n";
}

std::string Seconds(double s) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.6f", s);
  return buffer;
}

}  // namespace

std::string LabelValue(const Text& module) {
  std::string out;
  for (char c : ToUtf8(module)) {
    if (c == '\\') {
      out += "\\\\";
    } else if (c == '"') {
      out += "\\\"";
    } else if (c == '\n') {
      out += "\\n";
    } else {
      out.push_back(c);
    }
  }
  return out;
}

std::string ExpositionText(const ScanState& state) {
  std::string out;
  if (const auto& s = state.snapshot) {
    int64_t live = 0;
    int64_t oldest = 0;
    for (const auto& m : s->modules) {
      live += static_cast<int64_t>(m.entries.size());
      for (const auto& e : m.entries) {
        if (e.ageSeconds) oldest = std::max(oldest, *e.ageSeconds);
      }
    }
    Family(out, "webquorrel_records", "gauge",
           "Presence records in the register, readable or not.");
    Sample(out, "webquorrel_records", live + s->damaged + s->unreadable);
    Family(out, "webquorrel_online_workstations", "gauge",
           "Workstations online (live presence records) per module.");
    for (const auto& m : s->modules) {
      out += "webquorrel_online_workstations{module=\"" + LabelValue(m.module) + "\"} " +
             std::to_string(m.entries.size()) + "\n";
    }
    Family(out, "webquorrel_damaged_records", "gauge",
           "Presence records whose time is not a date.");
    Sample(out, "webquorrel_damaged_records", s->damaged);
    Family(out, "webquorrel_unreadable_records", "gauge",
           "Presence records whose payload cannot be read.");
    Sample(out, "webquorrel_unreadable_records", s->unreadable);
    Family(out, "webquorrel_oldest_record_age_seconds", "gauge",
           "Age of the oldest live presence record by the database server's clock (0 if none).");
    Sample(out, "webquorrel_oldest_record_age_seconds", oldest);
  }
  Family(out, "webquorrel_last_scan_success", "gauge",
         "1 when the latest scan of the register succeeded, else 0.");
  Sample(out, "webquorrel_last_scan_success", state.snapshot ? 1 : 0);
  Family(out, "webquorrel_last_scan_duration_seconds", "gauge",
         "How long the latest scan of the register took.");
  out += "webquorrel_last_scan_duration_seconds " + Seconds(state.lastScanSeconds) + "\n";
  Family(out, "webquorrel_scans_total", "counter",
         "Scans of the register since the server started.");
  Sample(out, "webquorrel_scans_total", state.scans);
  Family(out, "webquorrel_scan_failures_total", "counter",
         "Scans of the register that failed since the server started.");
  Sample(out, "webquorrel_scan_failures_total", state.failures);
  return out;
}

std::string MetricsScanner::Scrape() {
  std::lock_guard lock(mutex_);
  const Clock::time_point now = Clock::now();
  if (!lastScan_ || now - *lastScan_ >= interval_) {
    ++state_.scans;
    try {
      state_.snapshot = scan_();
    } catch (const std::exception&) {
      state_.snapshot.reset();
      ++state_.failures;
    }
    lastScan_ = Clock::now();
    state_.lastScanSeconds = std::chrono::duration<double>(*lastScan_ - now).count();
  }
  return ExpositionText(state_);
}

}  // namespace wq::cli
