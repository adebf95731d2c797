#include "presence/counting.h"

#include <map>

#include "presence/record.h"

namespace wq::presence {

int64_t CountPresenceRecords(db::Register& reg) { return reg.CountMarked(PresenceMarker()); }

std::vector<ModuleCount> CountByModule(db::Register& reg) {
  // Counted here rather than grouped in SQL: engines differ in how they compare texts (SQL
  // Server's usual collation would merge "Sales" and "sales"), and a null and an empty module
  // are the same module to the register.
  std::map<Text, int64_t> counts;
  reg.ScanMarked(PresenceMarker(),
                 [&](const db::MarkedRow& row) { ++counts[ModuleOf(row.module)]; });
  std::vector<ModuleCount> out;
  for (auto& [module, n] : counts) out.push_back({module, n});
  return out;
}

}  // namespace wq::presence
