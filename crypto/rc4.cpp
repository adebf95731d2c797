#include "crypto/rc4.h"

#include <bit>
#include <cstring>
#include <numeric>

#include "platform/error.h"

namespace wq {
namespace {

// One RC4 keystream pass over data, starting from a copy of the keyed state. The next S[i] is
// read before this step's stores and patched when the swap moved it (j == i + 1), so the loads
// of consecutive steps do not wait on each other's stores; the keystream is gathered eight bytes
// at a time and combined with one 64-bit exclusive or.
void ApplyKeystream(const std::array<uint8_t, 256>& keyed, uint8_t* data, size_t size) {
  uint8_t s[256];
  std::memcpy(s, keyed.data(), sizeof s);
  uint32_t i = 1;
  uint32_t j = 0;
  uint32_t si = s[1];
  auto next = [&]() -> uint32_t {
    j = (j + si) & 255;
    const uint32_t sj = s[j];
    const uint32_t following = (i + 1) & 255;
    uint32_t sFollowing = s[following];
    s[j] = static_cast<uint8_t>(si);
    s[i] = static_cast<uint8_t>(sj);
    sFollowing = j == following ? si : sFollowing;
    const uint32_t key = s[(si + sj) & 255];
    si = sFollowing;
    i = following;
    return key;
  };
  size_t k = 0;
  for (; k + 8 <= size; k += 8) {
    uint64_t stream = 0;
#pragma GCC unroll 8
    for (int b = 0; b < 8; ++b) stream |= static_cast<uint64_t>(next()) << (8 * b);
    if constexpr (std::endian::native == std::endian::big) stream = __builtin_bswap64(stream);
    uint64_t word;
    std::memcpy(&word, data + k, 8);
    word ^= stream;
    std::memcpy(data + k, &word, 8);
  }
  for (; k < size; ++k) data[k] ^= static_cast<uint8_t>(next());
}

}  // namespace

clsRC4::clsRC4(const AnsiCodePage& codePage) : codePage_(codePage) {}

void clsRC4::Key(const Text& New_Value) {
  if (New_Value == storedKey_) return;
  storedKey_ = New_Value;
  const Bytes key = codePage_.Encode(New_Value);
  std::iota(state_.begin(), state_.end(), 0);
  // The schedule takes key byte i mod n; with no key bytes that is a division by zero, and the
  // state stays the identity with the stored key empty.
  if (key.empty()) throw Error::DivisionByZero("the cipher key is empty");
  uint8_t j = 0;
  for (size_t i = 0; i < 256; ++i) {
    j += state_[i] + key[i % key.size()];
    std::swap(state_[i], state_[j]);
  }
  ++key_schedules_;
}

void clsRC4::EncryptByte(ByteArray& byteArray, const Text& Key) {
  if (!Key.empty()) this->Key(Key);
  if (!byteArray) throw Error::SubscriptOutOfRange("the byte array has no storage");
  ApplyKeystream(state_, byteArray->data(), byteArray->size());
}

void clsRC4::DecryptByte(ByteArray& byteArray, const Text& Key) { EncryptByte(byteArray, Key); }

Text clsRC4::EncryptString(const Text& text, const Text& Key) {
  ByteArray bytes = codePage_.Encode(text);
  EncryptByte(bytes, Key);
  return codePage_.Decode(*bytes);
}

Text clsRC4::DecryptString(const Text& text, const Text& Key) {
  ByteArray bytes = codePage_.Encode(text);
  DecryptByte(bytes, Key);
  return codePage_.Decode(*bytes);
}

bool clsRC4::DecryptByteToStr(ByteArray& byteArray, Text& strDest, const Text& Key) {
  DecryptByte(byteArray, Key);
  std::vector<uint8_t>& bytes = *byteArray;
  for (size_t p = 0; p < bytes.size(); p += 2) {
    if (p + 1 >= bytes.size()) {
      throw Error::SubscriptOutOfRange("odd number of bytes for a UTF-16 text");
    }
    std::swap(bytes[p], bytes[p + 1]);
  }
  const size_t start = strDest.size();
  strDest.resize(start + bytes.size() / 2);
  for (size_t k = 0; k < bytes.size(); k += 2) {
    // The text's bytes run low byte first, so the swapped pair reads as a little-endian unit.
    strDest[start + k / 2] = static_cast<char16_t>(bytes[k] | (bytes[k + 1] << 8));
  }
  return true;
}

}  // namespace wq
