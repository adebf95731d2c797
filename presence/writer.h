// Adds one presence record to SystemSetting over a connection of its own.
#pragma once

#include "platform/text/text.h"

namespace wq::presence {

// Opens connectionString, takes timeText unchanged, or the server time text when timeText is
// empty, and adds a row: ssDesc = the marker, ssOption = "<workstationName>,<time>" sealed,
// ssState = 1 or 0 for loginFlag, ssModeName = moduleName. Sets no other column. Any failure
// raises an error; a row that was not yet stored is not added.
void WriteOnlineRecord(const Text& connectionString, const Text& workstationName,
                       const Text& timeText, const Text& moduleName, bool loginFlag);

}  // namespace wq::presence
