#include "crypto/md5_engine.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace wq {
namespace {

inline uint32_t LoadLittle(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap32(v);
  return v;
}

// The four auxiliary functions of RFC 1321 in forms with fewer operations; G is split into two
// disjoint terms so that they can be added separately (shorter dependency chain).
#define WQ_MD5_F(x, y, z) ((z) ^ ((x) & ((y) ^ (z))))
#define WQ_MD5_H(x, y, z) ((x) ^ (y) ^ (z))
#define WQ_MD5_I(x, y, z) ((y) ^ ((x) | ~(z)))

#define WQ_MD5_STEP(f, a, b, c, d, x, t, s) \
  a += f(b, c, d) + (x) + (t);              \
  a = std::rotl(a, s) + (b)
#define WQ_MD5_STEP_G(a, b, c, d, x, t, s)       \
  a += ((d) & (b)) + ((x) + (t)) + (~(d) & (c)); \
  a = std::rotl(a, s) + (b)

void Compress(std::array<uint32_t, 4>& state, const uint8_t* block, size_t blocks) {
  uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
  for (; blocks > 0; --blocks, block += 64) {
    uint32_t x[16];
    for (int k = 0; k < 16; ++k) x[k] = LoadLittle(block + 4 * k);
    const uint32_t aa = a, bb = b, cc = c, dd = d;

    WQ_MD5_STEP(WQ_MD5_F, a, b, c, d, x[0], 0xd76aa478, 7);
    WQ_MD5_STEP(WQ_MD5_F, d, a, b, c, x[1], 0xe8c7b756, 12);
    WQ_MD5_STEP(WQ_MD5_F, c, d, a, b, x[2], 0x242070db, 17);
    WQ_MD5_STEP(WQ_MD5_F, b, c, d, a, x[3], 0xc1bdceee, 22);
    WQ_MD5_STEP(WQ_MD5_F, a, b, c, d, x[4], 0xf57c0faf, 7);
    WQ_MD5_STEP(WQ_MD5_F, d, a, b, c, x[5], 0x4787c62a, 12);
    WQ_MD5_STEP(WQ_MD5_F, c, d, a, b, x[6], 0xa8304613, 17);
    WQ_MD5_STEP(WQ_MD5_F, b, c, d, a, x[7], 0xfd469501, 22);
    WQ_MD5_STEP(WQ_MD5_F, a, b, c, d, x[8], 0x698098d8, 7);
    WQ_MD5_STEP(WQ_MD5_F, d, a, b, c, x[9], 0x8b44f7af, 12);
    WQ_MD5_STEP(WQ_MD5_F, c, d, a, b, x[10], 0xffff5bb1, 17);
    WQ_MD5_STEP(WQ_MD5_F, b, c, d, a, x[11], 0x895cd7be, 22);
    WQ_MD5_STEP(WQ_MD5_F, a, b, c, d, x[12], 0x6b901122, 7);
    WQ_MD5_STEP(WQ_MD5_F, d, a, b, c, x[13], 0xfd987193, 12);
    WQ_MD5_STEP(WQ_MD5_F, c, d, a, b, x[14], 0xa679438e, 17);
    WQ_MD5_STEP(WQ_MD5_F, b, c, d, a, x[15], 0x49b40821, 22);

    WQ_MD5_STEP_G(a, b, c, d, x[1], 0xf61e2562, 5);
    WQ_MD5_STEP_G(d, a, b, c, x[6], 0xc040b340, 9);
    WQ_MD5_STEP_G(c, d, a, b, x[11], 0x265e5a51, 14);
    WQ_MD5_STEP_G(b, c, d, a, x[0], 0xe9b6c7aa, 20);
    WQ_MD5_STEP_G(a, b, c, d, x[5], 0xd62f105d, 5);
    WQ_MD5_STEP_G(d, a, b, c, x[10], 0x02441453, 9);
    WQ_MD5_STEP_G(c, d, a, b, x[15], 0xd8a1e681, 14);
    WQ_MD5_STEP_G(b, c, d, a, x[4], 0xe7d3fbc8, 20);
    WQ_MD5_STEP_G(a, b, c, d, x[9], 0x21e1cde6, 5);
    WQ_MD5_STEP_G(d, a, b, c, x[14], 0xc33707d6, 9);
    WQ_MD5_STEP_G(c, d, a, b, x[3], 0xf4d50d87, 14);
    WQ_MD5_STEP_G(b, c, d, a, x[8], 0x455a14ed, 20);
    WQ_MD5_STEP_G(a, b, c, d, x[13], 0xa9e3e905, 5);
    WQ_MD5_STEP_G(d, a, b, c, x[2], 0xfcefa3f8, 9);
    WQ_MD5_STEP_G(c, d, a, b, x[7], 0x676f02d9, 14);
    WQ_MD5_STEP_G(b, c, d, a, x[12], 0x8d2a4c8a, 20);

    WQ_MD5_STEP(WQ_MD5_H, a, b, c, d, x[5], 0xfffa3942, 4);
    WQ_MD5_STEP(WQ_MD5_H, d, a, b, c, x[8], 0x8771f681, 11);
    WQ_MD5_STEP(WQ_MD5_H, c, d, a, b, x[11], 0x6d9d6122, 16);
    WQ_MD5_STEP(WQ_MD5_H, b, c, d, a, x[14], 0xfde5380c, 23);
    WQ_MD5_STEP(WQ_MD5_H, a, b, c, d, x[1], 0xa4beea44, 4);
    WQ_MD5_STEP(WQ_MD5_H, d, a, b, c, x[4], 0x4bdecfa9, 11);
    WQ_MD5_STEP(WQ_MD5_H, c, d, a, b, x[7], 0xf6bb4b60, 16);
    WQ_MD5_STEP(WQ_MD5_H, b, c, d, a, x[10], 0xbebfbc70, 23);
    WQ_MD5_STEP(WQ_MD5_H, a, b, c, d, x[13], 0x289b7ec6, 4);
    WQ_MD5_STEP(WQ_MD5_H, d, a, b, c, x[0], 0xeaa127fa, 11);
    WQ_MD5_STEP(WQ_MD5_H, c, d, a, b, x[3], 0xd4ef3085, 16);
    WQ_MD5_STEP(WQ_MD5_H, b, c, d, a, x[6], 0x04881d05, 23);
    WQ_MD5_STEP(WQ_MD5_H, a, b, c, d, x[9], 0xd9d4d039, 4);
    WQ_MD5_STEP(WQ_MD5_H, d, a, b, c, x[12], 0xe6db99e5, 11);
    WQ_MD5_STEP(WQ_MD5_H, c, d, a, b, x[15], 0x1fa27cf8, 16);
    WQ_MD5_STEP(WQ_MD5_H, b, c, d, a, x[2], 0xc4ac5665, 23);

    WQ_MD5_STEP(WQ_MD5_I, a, b, c, d, x[0], 0xf4292244, 6);
    WQ_MD5_STEP(WQ_MD5_I, d, a, b, c, x[7], 0x432aff97, 10);
    WQ_MD5_STEP(WQ_MD5_I, c, d, a, b, x[14], 0xab9423a7, 15);
    WQ_MD5_STEP(WQ_MD5_I, b, c, d, a, x[5], 0xfc93a039, 21);
    WQ_MD5_STEP(WQ_MD5_I, a, b, c, d, x[12], 0x655b59c3, 6);
    WQ_MD5_STEP(WQ_MD5_I, d, a, b, c, x[3], 0x8f0ccc92, 10);
    WQ_MD5_STEP(WQ_MD5_I, c, d, a, b, x[10], 0xffeff47d, 15);
    WQ_MD5_STEP(WQ_MD5_I, b, c, d, a, x[1], 0x85845dd1, 21);
    WQ_MD5_STEP(WQ_MD5_I, a, b, c, d, x[8], 0x6fa87e4f, 6);
    WQ_MD5_STEP(WQ_MD5_I, d, a, b, c, x[15], 0xfe2ce6e0, 10);
    WQ_MD5_STEP(WQ_MD5_I, c, d, a, b, x[6], 0xa3014314, 15);
    WQ_MD5_STEP(WQ_MD5_I, b, c, d, a, x[13], 0x4e0811a1, 21);
    WQ_MD5_STEP(WQ_MD5_I, a, b, c, d, x[4], 0xf7537e82, 6);
    WQ_MD5_STEP(WQ_MD5_I, d, a, b, c, x[11], 0xbd3af235, 10);
    WQ_MD5_STEP(WQ_MD5_I, c, d, a, b, x[2], 0x2ad7d2bb, 15);
    WQ_MD5_STEP(WQ_MD5_I, b, c, d, a, x[9], 0xeb86d391, 21);

    a += aa;
    b += bb;
    c += cc;
    d += dd;
  }
  state = {a, b, c, d};
}

}  // namespace

void Md5Engine::Update(const uint8_t* data, size_t size) {
  length_ += size;
  if (buffered_ > 0) {
    const size_t take = std::min(size, sizeof buffer_ - buffered_);
    std::memcpy(buffer_ + buffered_, data, take);
    buffered_ += take;
    data += take;
    size -= take;
    if (buffered_ < sizeof buffer_) return;
    Compress(state_, buffer_, 1);
    buffered_ = 0;
  }
  const size_t whole = size / 64;
  if (whole > 0) Compress(state_, data, whole);
  data += whole * 64;
  size -= whole * 64;
  std::memcpy(buffer_, data, size);
  buffered_ = size;
}

std::array<uint8_t, 16> Md5Engine::Finish() {
  // 0x80, zeros up to 56 bytes into a block, then the 64-bit bit count, low byte first.
  const uint64_t bits = length_ * 8;
  uint8_t tail[128] = {0x80};
  const size_t padding = (buffered_ < 56 ? 56 : 120) - buffered_;
  for (int k = 0; k < 8; ++k) tail[padding + k] = static_cast<uint8_t>(bits >> (8 * k));
  Update(tail, padding + 8);
  std::array<uint8_t, 16> digest;
  for (int w = 0; w < 4; ++w) {
    for (int k = 0; k < 4; ++k) digest[4 * w + k] = static_cast<uint8_t>(state_[w] >> (8 * k));
  }
  return digest;
}

}  // namespace wq
