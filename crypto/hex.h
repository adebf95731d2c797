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

// Replaces the contents of byteArray with the bytes that hex spells, each combined with
// stream[k] by exclusive or: the unsealing of a payload in one pass. stream holds hex.size() / 2
// bytes. Returns false for an empty or odd-length text and at the first pair that is not hex,
// with byteArray then holding no meaningful bytes; its storage is reused from call to call.
bool DecodeHexXor(const Text& hex, const uint8_t* stream, ByteArray& byteArray);

}  // namespace wq
