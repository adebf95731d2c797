#include "presence/record.h"

#include <charconv>
#include <cmath>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "crypto/hex.h"
#include "crypto/md5.h"
#include "platform/error.h"
#include "platform/text/ansi.h"
#include "presence/module_state.h"
#include "presence/server_time.h"

namespace wq::presence {
namespace {

const Text& Key() {
  static const Text key(kPresenceKey);
  return key;
}

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

// The payload text of the bytes, with the positions of its first two commas (npos when
// missing). Bytes below 0x80 widen in place in one pass that also finds the commas (out keeps
// its storage); any other byte sends the whole payload through the code page.
void DecodeInto(const std::vector<uint8_t>& bytes, Text& out, size_t& comma1, size_t& comma2) {
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

}  // namespace

Text PresenceMarker() {
  // Computed once: the key is ASCII, which every ANSI code page encodes alike.
  static const Text marker = MD5Digest(kPresenceKey);
  return marker;
}

Text MakePayload(TextView workstation, TextView timeText) {
  Text payload;
  payload.reserve(workstation.size() + 1 + timeText.size());
  payload.append(workstation).append(u",").append(timeText);
  return payload;
}

Text SealPayload(const Text& payload) {
  ByteArray bytes = AnsiCodePage::Process().Encode(payload);
  SharedRC4().EncryptByte(bytes, Key());
  return ByteArrayToHex(bytes);
}

Text UnsealPayload(const Text& sealedHex) {
  ByteArray bytes;
  SharedRC4().DecryptHex(sealedHex, bytes, Key());
  return AnsiCodePage::Process().Decode(*bytes);
}

Text ModuleOf(const db::Value& ssModeName) {
  return ssModeName.IsText() ? ssModeName.text() : Text();
}

bool LoginFlagOf(const db::Value& ssState) {
  if (ssState.IsInteger()) return ssState.integer() != 0;
  if (ssState.IsReal()) return ssState.real() != 0;
  return false;
}

const char* KindName(RecordKind kind) {
  static constexpr const char* kNames[] = {"own", "live", "damaged", "unreadable"};
  return kNames[static_cast<int>(kind)];
}

std::optional<int64_t> WholeNumber(const db::Value& id) {
  if (id.IsInteger()) return id.integer();
  if (id.IsReal()) {
    const double v = id.real();
    if (std::trunc(v) == v && std::fabs(v) < 9.2e18) return static_cast<int64_t>(v);
    return std::nullopt;  // a fraction, too large, infinite or not a number
  }
  if (!id.IsText() || id.text().empty()) return std::nullopt;
  std::string digits;
  for (char16_t c : id.text()) {
    if (c < u'0' || c > u'9') return std::nullopt;
    digits.push_back(static_cast<char>(c));
  }
  int64_t n = 0;
  const auto r = std::from_chars(digits.data(), digits.data() + digits.size(), n);
  if (r.ec != std::errc()) return std::nullopt;  // beyond 64 bits
  return n;
}

RecordKind RecordReader::Unreadable(std::string problem) {
  payload_.clear();
  comma1_ = comma2_ = 0;
  problem_ = std::move(problem);
  return RecordKind::kUnreadable;
}

RecordKind RecordReader::Classify(const db::Value& ssOption,
                                  std::optional<TextView> workstationName) {
  if (ssOption.IsNull()) return Unreadable("ssOption has no value");
  if (!ssOption.IsText()) return Unreadable("ssOption is not text");
  try {
    SharedRC4().DecryptHex(ssOption.text(), bytes_, Key());
  } catch (const Error& e) {  // empty, odd-length or not hex
    return Unreadable(std::string("ssOption is not sealed hex text (") + e.what() + ")");
  }
  DecodeInto(*bytes_, payload_, comma1_, comma2_);
  if (comma1_ == Text::npos) return Unreadable("the payload holds no \",\"");
  if (comma2_ == Text::npos) comma2_ = payload_.size();
  problem_.clear();

  if (workstationName && EqualsIgnoreCase(workstation(), *workstationName)) {
    return RecordKind::kOwn;
  }
  return IsDate(time()) ? RecordKind::kLive : RecordKind::kDamaged;
}

}  // namespace wq::presence
