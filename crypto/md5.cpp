#include "crypto/md5.h"

#include "crypto/md5_engine.h"

namespace wq {

Text MD5Digest(TextView text, const AnsiCodePage& codePage) {
  // The message bytes are made a chunk at a time, so a long text needs no second copy.
  constexpr size_t kChunk = 4096;
  uint8_t bytes[kChunk];
  Md5Engine engine;
  for (size_t at = 0; at < text.size(); at += kChunk) {
    const TextView piece = text.substr(at, kChunk);
    codePage.CodeBytes(piece, bytes);
    engine.Update(bytes, piece.size());
  }
  static constexpr char16_t kDigits[] = u"0123456789abcdef";
  Text hex(32, u'0');
  const std::array<uint8_t, 16> digest = engine.Finish();
  for (size_t k = 0; k < digest.size(); ++k) {
    hex[2 * k] = kDigits[digest[k] >> 4];
    hex[2 * k + 1] = kDigits[digest[k] & 15];
  }
  return hex;
}

}  // namespace wq
