// The MD5 compression of RFC 1321 over bytes, fed in pieces. MD5Digest feeds it the message
// bytes of a text; the benchmarks also time it on plain bytes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace wq {

class Md5Engine {
 public:
  void Update(const uint8_t* data, size_t size);
  // Pads, appends the bit length and returns the 16 digest bytes (low byte of a first).
  std::array<uint8_t, 16> Finish();

 private:
  std::array<uint32_t, 4> state_{0x67452301u, 0xefcdab89u, 0x98badcfeu, 0x10325476u};
  uint64_t length_ = 0;  // bytes
  uint8_t buffer_[64];
  size_t buffered_ = 0;
};

}  // namespace wq
