// Hex text to bytes: never crashes, fails only as documented, and round-trips what it accepts.
#include "crypto/hex.h"
#include "platform/error.h"
#include "tests/fuzz/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace wq;
  const Text hex = fuzz::AnyText(data, size);
  ByteArray bytes;
  try {
    HexToByteArray(hex, bytes);
  } catch (const Error& e) {
    if (e.number() != kSubscriptOutOfRange && e.number() != kTypeMismatch) {
      fuzz::Violated("HexToByteArray raised an error it does not document");
    }
    return 0;
  }
  Text upper = hex;
  for (char16_t& c : upper) {
    if (c >= u'a' && c <= u'f') c = static_cast<char16_t>(c - u'a' + u'A');
  }
  if (ByteArrayToHex(bytes) != upper) fuzz::Violated("hex did not round-trip");
  return 0;
}
