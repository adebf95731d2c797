// What the Linux environment also tells beyond the seam in env.h.
#pragma once

#include "platform/text/text.h"

namespace wq {

// The computer name before the 15-byte cut of GetComputerNameA: WEBQUORREL_COMPUTERNAME when
// set, else the first label of the host name in upper case; empty when neither can be read.
Text UncutComputerName();

}  // namespace wq
