// What a presence update answers: the count of presence records, or why and where it failed.
#pragma once

#include <cstdint>
#include <optional>

#include "platform/error.h"

namespace wq::presence {

struct UpdateResult {
  int32_t count = 0;           // presence records after the update; 0 on failure
  std::optional<Error> error;  // why it failed, when it did (with its database part, if any)
  const char* step = "";       // the step that failed: "open", "server time", "scan", ...
  bool ok() const { return !error.has_value(); }
};

}  // namespace wq::presence
