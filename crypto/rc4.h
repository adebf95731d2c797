// clsRC4: RC4 over byte arrays in place, keyed with the ANSI bytes of a key text. The key
// schedule runs only when the key text changes; every cipher call starts a fresh keystream from
// the keyed state, so results never depend on earlier calls. Since every call with one keyed
// state meets the same keystream, its start is kept (extended on demand up to
// kKeystreamCache bytes, dropped when the keyed state changes): short data such as presence
// payloads costs an exclusive or with stored bytes.
#pragma once

#include <array>
#include <cstdint>

#include "crypto/byte_array.h"
#include "crypto/rc4_stream.h"
#include "platform/text/ansi.h"
#include "platform/text/text.h"

namespace wq {

class clsRC4 {
 public:
  explicit clsRC4(const AnsiCodePage& codePage = AnsiCodePage::Process());

  // The write-only Key property. Setting the empty text while a key is held raises division by
  // zero and leaves the stored key empty and the state the identity permutation.
  void Key(const Text& New_Value);

  // An empty Key argument keeps the current key; a non-empty one is set first.
  void DecryptByte(ByteArray& byteArray, const Text& Key = {});
  Text EncryptString(const Text& text, const Text& Key = {});
  Text DecryptString(const Text& text, const Text& Key = {});
  void EncryptByte(ByteArray& byteArray, const Text& Key = {});
  // Deciphers, swaps each pair of bytes and appends them to strDest as UTF-16 code units (first
  // byte of a pair high). An odd byte count raises subscript out of range, strDest unchanged.
  bool DecryptByteToStr(ByteArray& byteArray, Text& strDest, const Text& Key = {});

  // HexToByteArray(hex, byteArray) and then DecryptByte(byteArray, Key), with the same results
  // and errors, in one pass over the text when the key is already set.
  void DecryptHex(const Text& hex, ByteArray& byteArray, const Text& Key = {});

  // Data up to this length is combined with the kept keystream; longer data runs RC4 afresh.
  static constexpr size_t kKeystreamCache = 1024;

  // How many times the key schedule has run (for tests of the skip).
  uint64_t key_schedules() const noexcept { return key_schedules_; }

 private:
  const AnsiCodePage& codePage_;
  Text storedKey_;
  // The first size bytes of the keystream of state_, ready for more.
  const uint8_t* Keystream(size_t size);

  std::array<uint8_t, 256> state_{};
  uint64_t key_schedules_ = 0;
  std::vector<uint8_t> keystream_;  // empty whenever state_ has changed
  Rc4Stream continuation_;          // where keystream_ goes on
};

}  // namespace wq
