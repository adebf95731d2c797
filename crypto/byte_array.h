// A byte array as the component passes it: lower bound 0, possibly without storage.
// std::nullopt is an array without storage (no bounds at all); an empty vector has storage but
// no elements (upper bound -1).
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace wq {

using ByteArray = std::optional<std::vector<uint8_t>>;

}  // namespace wq
