#include "presence/record.h"

#include "crypto/hex.h"
#include "crypto/md5.h"
#include "platform/error.h"
#include "platform/text/ansi.h"
#include "presence/module_state.h"
#include "presence/payload_decode.h"
#include "presence/server_time.h"

namespace wq::presence {
namespace {

const Text& Key() {
  static const Text key(kPresenceKey);
  return key;
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
  DecodePayload(*bytes_, payload_, comma1_, comma2_);
  if (comma1_ == Text::npos) return Unreadable("the payload holds no \",\"");
  if (comma2_ == Text::npos) comma2_ = payload_.size();
  problem_.clear();

  if (workstationName && EqualsIgnoreCase(workstation(), *workstationName)) {
    return RecordKind::kOwn;
  }
  return IsDate(time()) ? RecordKind::kLive : RecordKind::kDamaged;
}

}  // namespace wq::presence
