#include "presence/payload_decode.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "platform/text/ansi.h"

namespace wq::presence {
namespace {

// Whether the process code page reads every byte below 0x80 as the character of that code, as
// the ANSI code pages do. Checked once by decoding those bytes, so that payloads of such bytes
// alone can be widened directly.
bool AsciiTransparent() {
  static const bool transparent = [] {
    Bytes ascii(128);
    for (size_t i = 0; i < ascii.size(); ++i) ascii[i] = static_cast<uint8_t>(i);
    const Text text = AnsiCodePage::Process().Decode(ascii);
    if (text.size() != ascii.size()) return false;
    for (size_t i = 0; i < text.size(); ++i) {
      if (text[i] != static_cast<char16_t>(i)) return false;
    }
    return true;
  }();
  return transparent;
}

#if defined(__SSE2__)
// Widens the 16 bytes at in + at into units + at; adds their high bits to high and the positions
// of their commas at or after `from` to first and second.
inline void WidenBlock(const uint8_t* in, char16_t* units, size_t at, size_t from, __m128i& high,
                       size_t& first, size_t& second) {
  const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + at));
  const __m128i zero = _mm_setzero_si128();
  high = _mm_or_si128(high, v);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(units + at), _mm_unpacklo_epi8(v, zero));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(units + at + 8), _mm_unpackhi_epi8(v, zero));
  unsigned commas = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8(','))));
  commas &= ~0u << (from - at);
  for (; commas != 0 && second == Text::npos; commas &= commas - 1) {
    const size_t pos = at + static_cast<size_t>(__builtin_ctz(commas));
    (first == Text::npos ? first : second) = pos;
  }
}
#endif

}  // namespace

void DecodePayload(const std::vector<uint8_t>& bytes, Text& out, size_t& comma1, size_t& comma2) {
  const size_t size = bytes.size();
  out.resize(size);
  const uint8_t* in = bytes.data();
  char16_t* units = out.data();
  uint8_t seen = 0;
  size_t first = Text::npos;
  size_t second = Text::npos;
  size_t i = 0;
#if defined(__SSE2__)
  if (size >= 16) {
    __m128i high = _mm_setzero_si128();
    for (; i + 16 <= size; i += 16) WidenBlock(in, units, i, i, high, first, second);
    // The rest as the last 16 bytes, of which those before i were done already.
    if (i < size) WidenBlock(in, units, size - 16, i, high, first, second);
    i = size;
    seen = _mm_movemask_epi8(high) != 0 ? 0x80 : 0;
  }
#endif
  for (; i < size; ++i) {
    const uint8_t b = in[i];
    seen |= b;
    units[i] = b;
    const bool comma = b == ',';
    second = comma && first != Text::npos && second == Text::npos ? i : second;
    first = comma && first == Text::npos ? i : first;
  }
  if (seen >= 0x80 || !AsciiTransparent()) {
    out = AnsiCodePage::Process().Decode(bytes);
    first = out.find(u',');
    second = first == Text::npos ? Text::npos : out.find(u',', first + 1);
  }
  comma1 = first;
  comma2 = second;
}

}  // namespace wq::presence
