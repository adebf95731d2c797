// Waiting for a request to stop without handlers that interrupt the program: on Linux SIGINT and
// SIGTERM are blocked and taken synchronously; on Windows the console's control events (Ctrl+C,
// Ctrl+Break, closing the console, log-off, shut-down) are caught and waited for. Either way a
// long-running command decides itself when to stop.
#pragma once

#include <signal.h>

#include <chrono>
#include <memory>

namespace wq::cli {

// How the stop request is named in help texts: "SIGINT or SIGTERM", or the console events.
extern const char kStopRequestName[];

// Catches the stop requests for the lifetime of the object, then restores what was before. On
// Linux the signals are blocked in the calling thread and so in every thread it starts
// afterwards: create it before any thread.
class StopSignals {
 public:
  StopSignals();
  ~StopSignals();
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

  // Waits up to timeout for a stop request; returns SIGINT (Ctrl+C, Ctrl+Break) or SIGTERM, or 0
  // when the time ran out. A request that arrived earlier is taken at once.
  int Wait(std::chrono::milliseconds timeout);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace wq::cli
