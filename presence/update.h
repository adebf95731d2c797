// The presence update: reads the server's clock, walks every presence record, removes this
// workstation's earlier records, repairs damaged records of others, registers this workstation
// when asked to, and counts the presence records.
#pragma once

#include <cstdint>

#include "platform/text/text.h"
#include "presence/update_result.h"

namespace wq::presence {

// The update, with its failure made visible: the count (0 on failure) and why it failed. Runs on
// the calling thread's module state; every failure of the update lands in the result.
UpdateResult UpdateOnlineState(const Text& gstrConnSystem, int16_t SelfState = 0,
                               const Text& ModName = {}, bool ModLogin = false);

// The result of an update that failed with the exception being handled (call it only from a
// catch handler): count 0, the error as it was raised (a failure that is no Error becomes one:
// out of memory, or kProviderError with its text) and the step given.
UpdateResult CurrentFailure(const char* step);

}  // namespace wq::presence
