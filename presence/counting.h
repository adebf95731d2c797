// How many presence records the table holds, in all or per module.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/db/register.h"
#include "platform/text/text.h"

namespace wq::presence {

// Rows whose ssDesc is the presence marker, readable or not: the count an update returns.
int64_t CountPresenceRecords(db::Register& reg);

struct ModuleCount {
  Text module;  // a null ssModeName counts as the empty module
  int64_t count = 0;
};

// The presence records per module, modules in ascending order of their UTF-16 units.
std::vector<ModuleCount> CountByModule(db::Register& reg);

}  // namespace wq::presence
