#include "presence/record.h"

#include <charconv>
#include <cmath>
#include <cstring>

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

// Whether every byte is below 0x80, eight at a time.
bool AllAscii(const uint8_t* bytes, size_t size) {
  uint64_t seen = 0;
  size_t i = 0;
  for (; i + 8 <= size; i += 8) {
    uint64_t word;
    std::memcpy(&word, bytes + i, 8);
    seen |= word;
  }
  for (; i < size; ++i) seen |= bytes[i];
  return (seen & 0x8080808080808080u) == 0;
}

// Decodes into out, widening in place when every byte is below 0x80 (out keeps its storage);
// returns whether it did, so that the text's characters sit where the bytes are.
bool DecodeInto(const std::vector<uint8_t>& bytes, Text& out) {
  if (AsciiTransparent() && AllAscii(bytes.data(), bytes.size())) {
    out.resize(bytes.size());
    char16_t* units = out.data();
    for (size_t i = 0; i < bytes.size(); ++i) units[i] = bytes[i];
    return true;
  }
  out = AnsiCodePage::Process().Decode(bytes);
  return false;
}

// The first comma at or after from, in the bytes of an ASCII payload or in its text.
size_t FindComma(const std::vector<uint8_t>& bytes, bool ascii, const Text& text, size_t from) {
  if (!ascii) return text.find(u',', from);
  if (from >= bytes.size()) return Text::npos;
  const void* at = std::memchr(bytes.data() + from, ',', bytes.size() - from);
  return at == nullptr ? Text::npos : static_cast<const uint8_t*>(at) - bytes.data();
}

}  // namespace

Text PresenceMarker() { return MD5Digest(kPresenceKey); }

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
  switch (kind) {
    case RecordKind::kOwn:
      return "own";
    case RecordKind::kLive:
      return "live";
    case RecordKind::kDamaged:
      return "damaged";
    case RecordKind::kUnreadable:
      return "unreadable";
  }
  return "unreadable";
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
  const bool ascii = DecodeInto(*bytes_, payload_);

  comma1_ = FindComma(*bytes_, ascii, payload_, 0);
  if (comma1_ == Text::npos) return Unreadable("the payload holds no \",\"");
  comma2_ = FindComma(*bytes_, ascii, payload_, comma1_ + 1);
  if (comma2_ == Text::npos) comma2_ = payload_.size();
  problem_.clear();

  if (workstationName && EqualsIgnoreCase(workstation(), *workstationName)) {
    return RecordKind::kOwn;
  }
  return IsDate(time()) ? RecordKind::kLive : RecordKind::kDamaged;
}

}  // namespace wq::presence
