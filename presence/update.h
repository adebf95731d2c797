// The presence update: reads the server's clock, walks every presence record, removes this
// workstation's earlier records, repairs damaged records of others, registers this workstation
// when asked to, and counts the presence records.
#pragma once

#include <cstdint>
#include <optional>

#include "platform/error.h"
#include "platform/text/text.h"

namespace wq::presence {

struct UpdateResult {
  int32_t count = 0;           // presence records after the update; 0 on failure
  std::optional<Error> error;  // why it failed, when it did (with its database part, if any)
  const char* step = "";       // the step that failed: "open", "server time", "scan", ...
  bool ok() const { return !error.has_value(); }
};

// The update, with its failure made visible: the count (0 on failure) and why it failed. Runs on
// the calling thread's module state; every failure of the update lands in the result.
UpdateResult UpdateOnlineState(const Text& gstrConnSystem, int16_t SelfState = 0,
                               const Text& ModName = {}, bool ModLogin = false);

// The result of an update that failed with the exception being handled (call it only from a
// catch handler): count 0, the error as it was raised (a failure that is no Error becomes one:
// out of memory, or kProviderError with its text) and the step given.
UpdateResult CurrentFailure(const char* step);

}  // namespace wq::presence
