// What the component needs from the machine, behind one replaceable seam: the computer name,
// the wall clock and the one message it shows. One implementation per platform.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>

#include "platform/text/text.h"

namespace wq {

class Env {
 public:
  virtual ~Env() = default;

  // The process-wide environment. Tests may replace it with SetDefault (nullptr restores the
  // real one).
  static Env& Default();
  static void SetDefault(Env* env);

  // GetComputerNameA's contract: writes the computer name's ANSI bytes and a NUL into buffer
  // (size bytes) and returns true; returns false and leaves the buffer alone on failure.
  // On Linux: WEBQUORREL_COMPUTERNAME when set, else the first label of the host name,
  // upper-cased and cut to 15 bytes.
  virtual bool GetComputerNameA(char* buffer, uint32_t size) = 0;

  // Shows the modal message (OK only, empty caption) and returns once it is dismissed.
  // On Linux it goes to the notifier; the default notifier writes the text to stderr.
  virtual void ShowMessage(const Text& message) = 0;

  // The machine's wall clock. Every reading of the date and time now goes through here, so
  // that tests can set it; intervals are measured with steady_clock instead.
  virtual std::chrono::system_clock::time_point Now();
};

// Replaces where ShowMessage sends its text on Linux (nullptr restores stderr).
using MessageNotifier = std::function<void(const Text&)>;
void SetMessageNotifier(MessageNotifier notifier);

}  // namespace wq
