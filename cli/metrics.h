// The register as metrics for a monitoring system: the Prometheus text exposition format, and a
// scanner that reads the register at most once per interval however many scrapers ask.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

#include "presence/online.h"

namespace wq::cli {

// What the scanner knows when a scrape asks.
struct ScanState {
  std::optional<presence::OnlineSnapshot> snapshot;  // none when the latest scan failed
  double lastScanSeconds = 0;                        // how long the latest scan took
  int64_t scans = 0;                                 // scans made since start
  int64_t failures = 0;                              // scans that failed since start
};

// The exposition text (version 0.0.4): HELP and TYPE lines and samples of
//   webquorrel_records, webquorrel_online_workstations{module}, webquorrel_damaged_records,
//   webquorrel_unreadable_records, webquorrel_oldest_record_age_seconds,
//   webquorrel_last_scan_success, webquorrel_last_scan_duration_seconds,
//   webquorrel_scans_total, webquorrel_scan_failures_total.
// The register's gauges are left out when the latest scan failed.
std::string ExpositionText(const ScanState& state);

// The Content-Type of the exposition text.
extern const char kExpositionContentType[];

// A module name as a label value: backslash, double quote and line feed escaped.
std::string LabelValue(const Text& module);

// Scans through `scan` when the previous scan is older than `interval`, else answers from it.
// Concurrent scrapers wait for one scan instead of making their own.
class MetricsScanner {
 public:
  using Clock = std::chrono::steady_clock;
  MetricsScanner(std::function<presence::OnlineSnapshot()> scan, Clock::duration interval)
      : scan_(std::move(scan)), interval_(interval) {}

  std::string Scrape();

 private:
  std::function<presence::OnlineSnapshot()> scan_;
  Clock::duration interval_;
  std::mutex mutex_;
  std::optional<Clock::time_point> lastScan_;
  ScanState state_;
};

}  // namespace wq::cli
