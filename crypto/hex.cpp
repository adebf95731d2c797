#include "crypto/hex.h"

#include <array>
#include <cstring>

#include "platform/error.h"

namespace wq {
namespace {

// Each byte's two upper-case digits, as the two UTF-16 units in memory order.
struct EncodeTable {
  std::array<char16_t[2], 256> pairs;
  constexpr EncodeTable() : pairs() {
    constexpr char16_t kDigits[] = u"0123456789ABCDEF";
    for (int b = 0; b < 256; ++b) {
      pairs[b][0] = kDigits[b >> 4];
      pairs[b][1] = kDigits[b & 15];
    }
  }
};
constexpr EncodeTable kEncode;

// The value of each ASCII hex digit (either case); kBad for every other code below 128.
constexpr uint8_t kBad = 0xF0;
struct DecodeTable {
  std::array<uint8_t, 128> value;
  constexpr DecodeTable() : value() {
    for (auto& v : value) v = kBad;
    for (int c = '0'; c <= '9'; ++c) value[c] = static_cast<uint8_t>(c - '0');
    for (int c = 'A'; c <= 'F'; ++c) value[c] = static_cast<uint8_t>(c - 'A' + 10);
    for (int c = 'a'; c <= 'f'; ++c) value[c] = static_cast<uint8_t>(c - 'a' + 10);
  }
};
constexpr DecodeTable kDecode;

// The digit's value, or kBad for anything else, including non-ASCII look-alikes.
inline uint8_t Digit(char16_t c) { return c < 128 ? kDecode.value[c] : kBad; }

}  // namespace

Text ByteArrayToHex(const ByteArray& byteArray) {
  if (!byteArray) throw Error::SubscriptOutOfRange("the byte array has no storage");
  const std::vector<uint8_t>& bytes = *byteArray;
  Text hex(bytes.size() * 2, u'\0');
  char16_t* out = hex.data();
  for (size_t i = 0; i < bytes.size(); ++i) {
    std::memcpy(out + 2 * i, kEncode.pairs[bytes[i]], sizeof(char16_t[2]));
  }
  return hex;
}

void HexToByteArray(const Text& hex, ByteArray& byteArray) {
  if (hex.empty()) throw Error::SubscriptOutOfRange("the hex text is empty");
  if (hex.size() % 2 != 0) {
    throw Error::SubscriptOutOfRange("the hex text has an odd number of digits (" +
                                     std::to_string(hex.size()) + ")");
  }
  byteArray.emplace(hex.size() / 2, 0);
  uint8_t* out = byteArray->data();
  const char16_t* in = hex.data();
  const size_t count = hex.size() / 2;
  for (size_t k = 0; k < count; ++k) {
    const uint8_t high = Digit(in[2 * k]);
    const uint8_t low = Digit(in[2 * k + 1]);
    if ((high | low) & kBad) {
      throw Error::TypeMismatch("the hex text has no hex number at digits " +
                                std::to_string(2 * k + 1) + "-" + std::to_string(2 * k + 2));
    }
    out[k] = static_cast<uint8_t>(high << 4 | low);
  }
}

}  // namespace wq
