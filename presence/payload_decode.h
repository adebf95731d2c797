// The widening of an unsealed payload's ANSI bytes into its text, with its first two commas
// found on the way: the hot step of reading a presence record.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/text/text.h"

namespace wq::presence {

// The payload text of the bytes, with the positions of its first two commas (npos when
// missing). Bytes below 0x80 widen in place in one pass that also finds the commas (out keeps
// its storage); any other byte sends the whole payload through the process code page.
void DecodePayload(const std::vector<uint8_t>& bytes, Text& out, size_t& comma1, size_t& comma2);

}  // namespace wq::presence
