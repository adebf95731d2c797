#include "crypto/rc4.h"

#include <algorithm>
#include <cstring>
#include <numeric>

#include "crypto/hex.h"
#include "platform/error.h"

namespace wq {
namespace {

// Whether two texts hold the same units. A byte comparison: std::u16string's own == compares
// unit by unit, and every cipher call compares its key with the stored one.
bool SameUnits(const Text& a, const Text& b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(char16_t)) == 0;
}

}  // namespace

clsRC4::clsRC4(const AnsiCodePage& codePage) : codePage_(codePage) {}

void clsRC4::Key(const Text& New_Value) {
  if (SameUnits(New_Value, storedKey_)) return;
  storedKey_ = New_Value;
  const Bytes key = codePage_.Encode(New_Value);
  std::iota(state_.begin(), state_.end(), 0);
  keystream_.clear();
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
  uint8_t* data = byteArray->data();
  const size_t size = byteArray->size();
  if (size > kKeystreamCache) {
    Rc4Stream fresh;
    fresh.Start(state_);
    fresh.Apply(data, size);
    return;
  }
  const uint8_t* stream = Keystream(size);
  for (size_t k = 0; k < size; ++k) data[k] ^= stream[k];
}

const uint8_t* clsRC4::Keystream(size_t size) {
  const size_t have = keystream_.size();
  if (size > have) {
    if (have == 0) continuation_.Start(state_);
    // Whole blocks of 64, at least doubling, so that growing by a byte at a time stays linear.
    const size_t want = std::min(kKeystreamCache, std::max((size + 63) & ~size_t{63}, 2 * have));
    keystream_.resize(want, 0);
    continuation_.Apply(keystream_.data() + have, want - have);
  }
  return keystream_.data();
}

void clsRC4::DecryptHex(const Text& hex, ByteArray& byteArray, const Text& Key) {
  const size_t size = hex.size() / 2;
  const bool keySet = Key.empty() || SameUnits(Key, storedKey_);
  if (keySet && size <= kKeystreamCache && DecodeHexXor(hex, Keystream(size), byteArray)) return;
  // A new key, data longer than the kept keystream or a text that does not decode: the two
  // steps one after the other, which raise the codec's errors in their order.
  HexToByteArray(hex, byteArray);
  DecryptByte(byteArray, Key);
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
