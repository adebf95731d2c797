// Every presence record read for maintenance: what it says and what is wrong with it, judged
// the same way for every workstation (no record is anybody's "own" here).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/db/connection.h"
#include "platform/db/value.h"
#include "platform/text/text.h"

namespace wq::presence {

enum class Condition {
  kLive,        // a workstation name and a time text that is a date
  kDamaged,     // a workstation name and a time text that is not a date
  kUnreadable,  // ssOption is null, not sealed hex text, or its payload holds no ","
};

struct PresenceRow {
  db::Value id;                   // ssID as stored
  std::optional<int64_t> number;  // ssID as a whole number; none when it is not one
  Condition condition = Condition::kUnreadable;
  Text workstation;                  // the payload's first element (empty when unreadable)
  Text time;                         // its second element
  std::optional<db::DateTime> when;  // the time text read as a date (live records)
  Text module;                       // ssModeName; a null module reads as the empty text
  bool login = false;                // ssState non-zero
  std::string problem;               // why it is unreadable (UTF-8); empty otherwise
};

// ssID as a whole number: an integer, a real without a fraction, or a text of ASCII digits that
// fits. Anything else gives none, and such a record is never named in a statement.
std::optional<int64_t> RowNumber(const db::Value& id);

// Reads every row whose ssDesc is the presence marker, in ssID order.
std::vector<PresenceRow> ReadPresenceRows(db::Connection& connection);

// The ids as a comma-separated list of decimal numbers for "ssID IN (...)".
Text IdList(const std::vector<int64_t>& ids);

// Deletes the listed presence records in one statement; rows whose ssDesc is not the marker are
// never touched, whatever their ssID. With a module, only rows of that module go (the empty
// module matches a null ssModeName too); it travels as a bound parameter. An empty list sends
// nothing.
void DeletePresenceRows(db::Connection& connection, const std::vector<int64_t>& ids,
                        const std::optional<Text>& module = std::nullopt);

}  // namespace wq::presence
