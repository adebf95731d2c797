// The presence record: a row of SystemSetting whose ssDesc is the presence marker and whose
// ssOption holds "<workstation>,<time text>" sealed with the presence key.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "crypto/byte_array.h"
#include "platform/db/value.h"
#include "platform/text/text.h"

namespace wq::presence {

// The RC4 key of every payload and the input of the marker.
inline constexpr char16_t kPresenceKey[] = u"PresenceLedgerSeal";

// MD5 of the presence key: 32 lower-case hex digits, the ssDesc of every presence record.
Text PresenceMarker();

// "<workstation>,<time text>", neither part escaped.
Text MakePayload(TextView workstation, TextView timeText);

// The payload's ANSI bytes, enciphered with the presence key on this thread's shared clsRC4,
// as upper-case hex text.
Text SealPayload(const Text& payload);
// The reverse. Raises the hex codec's errors for text that does not decode.
Text UnsealPayload(const Text& sealedHex);

// The module of a record's ssModeName value: its text, or the empty text when it holds none.
Text ModuleOf(const db::Value& ssModeName);
// The login flag of a record's ssState value: true for a non-zero number.
bool LoginFlagOf(const db::Value& ssState);

// What a presence record is. "Own" is judged only when a workstation name is given.
enum class RecordKind {
  kOwn,         // its workstation is the given one (compared in upper case, nothing trimmed)
  kLive,        // another workstation, with a time text that is a date
  kDamaged,     // another workstation, with a time text that is not a date
  kUnreadable,  // ssOption is null or no text, not hex, or its payload holds no ","
};

// "own", "live", "damaged", "unreadable".
const char* KindName(RecordKind kind);

// Unseals and classifies records, reusing its buffers from one record to the next.
class RecordReader {
 public:
  // Classifies a record by its ssOption value; kOwn only when a workstation name is given.
  RecordKind Classify(const db::Value& ssOption, std::optional<TextView> workstationName);

  // After Classify gave anything but kUnreadable: the payload's first two elements.
  TextView workstation() const { return TextView(payload_).substr(0, comma1_); }
  TextView time() const { return TextView(payload_).substr(comma1_ + 1, comma2_ - comma1_ - 1); }
  // After Classify gave kUnreadable: why, in UTF-8.
  const std::string& problem() const { return problem_; }

  // Records that problem and gives kUnreadable.
  RecordKind Unreadable(std::string problem);

 private:
  ByteArray bytes_;
  Text payload_;
  size_t comma1_ = 0;
  size_t comma2_ = 0;
  std::string problem_;
};

}  // namespace wq::presence
