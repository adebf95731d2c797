#include "crypto/rc4.h"

#include <cstring>
#include <numeric>

#include "platform/error.h"

namespace wq {
namespace {

// One RC4 keystream pass over data, starting from a copy of the keyed state.
void ApplyKeystream(const std::array<uint8_t, 256>& keyed, uint8_t* data, size_t size) {
  uint8_t s[256];
  std::memcpy(s, keyed.data(), sizeof s);
  uint8_t i = 0;
  uint8_t j = 0;
  for (size_t k = 0; k < size; ++k) {
    ++i;
    const uint8_t si = s[i];
    j += si;
    const uint8_t sj = s[j];
    s[i] = sj;
    s[j] = si;
    data[k] ^= s[static_cast<uint8_t>(si + sj)];
  }
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
