// Every marked row of a register, copied out of its scan, for tests that look at them together.
#pragma once

#include <vector>

#include "platform/db/register.h"

namespace wq::db {

inline std::vector<MarkedRow> ReadMarked(Register& reg, const Text& marker) {
  std::vector<MarkedRow> rows;
  reg.ScanMarked(marker, [&](const MarkedRow& row) { rows.push_back(row); });
  return rows;
}

}  // namespace wq::db
