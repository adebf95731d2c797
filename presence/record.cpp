#include "presence/record.h"

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
  HexToByteArray(sealedHex, bytes);
  SharedRC4().DecryptByte(bytes, Key());
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

RecordKind RecordReader::Classify(const db::Value& ssOption, TextView workstationName) {
  payload_.clear();
  comma1_ = comma2_ = 0;
  if (!ssOption.IsText()) return RecordKind::kUnreadable;
  try {
    HexToByteArray(ssOption.text(), bytes_);
  } catch (const Error&) {
    return RecordKind::kUnreadable;  // empty, odd-length or not hex
  }
  SharedRC4().DecryptByte(bytes_, Key());
  payload_ = AnsiCodePage::Process().Decode(*bytes_);

  comma1_ = payload_.find(u',');
  if (comma1_ == Text::npos) {
    payload_.clear();
    comma1_ = 0;
    return RecordKind::kUnreadable;
  }
  comma2_ = payload_.find(u',', comma1_ + 1);
  if (comma2_ == Text::npos) comma2_ = payload_.size();

  if (EqualsIgnoreCase(workstation(), workstationName)) return RecordKind::kOwn;
  return IsDate(time()) ? RecordKind::kLive : RecordKind::kDamaged;
}

}  // namespace wq::presence
