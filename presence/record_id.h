// The id of a presence record: ssID read as a whole number.
#pragma once

#include <cstdint>
#include <optional>

#include "platform/db/value.h"

namespace wq::presence {

// ssID as a whole number, the one rule for every reader of records: an integer, a real without
// a fraction that fits, or a non-empty text of ASCII digits that fits in 64 bits (leading zeros
// allowed). Anything else gives none; the update fails on such a record, and the other commands
// never name it in a statement.
std::optional<int64_t> WholeNumber(const db::Value& id);

}  // namespace wq::presence
