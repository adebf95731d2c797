// The presence record: a row of SystemSetting whose ssDesc is the presence marker and whose
// ssOption holds "<workstation>,<time text>" sealed with the presence key.
#pragma once

#include "platform/text/text.h"

namespace wq::presence {

// The RC4 key of every payload and the input of the marker.
inline constexpr char16_t kPresenceKey[] = u"PresenceLedgerSeal";

}  // namespace wq::presence
