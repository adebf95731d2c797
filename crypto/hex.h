// The hex codec between byte arrays and the text stored in ssOption.
#pragma once

#include "crypto/byte_array.h"
#include "platform/text/text.h"

namespace wq {

// Two upper-case hex digits per byte, byte 0 first. An array without storage raises subscript
// out of range; an empty array gives the empty text.
Text ByteArrayToHex(const ByteArray& byteArray);

// Replaces byteArray with the bytes that hex spells (digits of either case). Raises subscript out
// of range for an empty or odd-length text before touching byteArray, and type mismatch at the
// first pair that is not hex; the pairs before it are stored and the rest of the array stays 0.
void HexToByteArray(const Text& hex, ByteArray& byteArray);

// Decodes count pairs of digits from in and stores each byte combined with stream[k] by
// exclusive or in out[k]: the unsealing of a payload in one pass. Returns false at the first
// pair that is not hex, with out then holding no meaningful bytes.
bool DecodeHexXor(const char16_t* in, size_t count, const uint8_t* stream, uint8_t* out);

}  // namespace wq
