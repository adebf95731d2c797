// Waiting for SIGINT and SIGTERM without handlers: the signals are blocked and taken
// synchronously, so a long-running command decides itself when to stop.
#pragma once

#include <signal.h>

#include <chrono>

namespace wq::cli {

// Blocks SIGINT and SIGTERM in the calling thread, and so in every thread it starts afterwards,
// for the lifetime of the object; then restores the previous mask. Create it before any thread.
class StopSignals {
 public:
  StopSignals();
  ~StopSignals();
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

  // Waits up to timeout for one of the signals; returns its number, or 0 when the time ran out.
  // A signal that arrived earlier is taken at once.
  int Wait(std::chrono::milliseconds timeout);

 private:
  sigset_t set_;
  sigset_t previous_;
};

}  // namespace wq::cli
