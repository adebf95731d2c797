// The presence update: reads the server's clock, walks every presence record, removes this
// workstation's earlier records, repairs damaged records of others, registers this workstation
// when asked to, and counts the presence records.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/error.h"
#include "platform/text/text.h"

namespace wq::presence {

struct UpdateResult {
  int32_t count = 0;           // presence records after the update; 0 on failure
  std::optional<Error> error;  // why it failed, when it did
  const char* step = "";       // the step that failed: "open", "server time", "scan", ...
  bool fromDatabase = false;   // a database error: its number is the engine's native code
  std::string sqlstate;        // and its SQLSTATE, when the engine gave one
  bool ok() const { return !error.has_value(); }
};

// The update, with its failure made visible: the count (0 on failure) and why it failed. Runs on
// the calling thread's module state; every failure of the update lands in the result.
UpdateResult UpdateOnlineState(const Text& gstrConnSystem, int16_t SelfState = 0,
                               const Text& ModName = {}, bool ModLogin = false);

}  // namespace wq::presence
