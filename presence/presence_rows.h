// Every presence record read whole, for the commands beside the update: what it says and what
// kind it is, by the same reader and rules as the update's scan.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/db/register.h"
#include "platform/db/value.h"
#include "platform/text/text.h"
#include "presence/record.h"
#include "presence/record_id.h"

namespace wq::presence {

struct PresenceRow {
  db::Value id;                   // ssID as stored
  std::optional<int64_t> number;  // WholeNumber(id)
  RecordKind kind = RecordKind::kUnreadable;
  Text workstation;                  // the payload's first element (empty when unreadable)
  Text time;                         // its second element
  std::optional<db::DateTime> when;  // the time text read as a date (own and live records)
  Text module;                       // ssModeName; a null module reads as the empty text
  bool nullModule = false;           // ssModeName is null
  bool login = false;                // ssState non-zero
  std::string problem;               // why it is unreadable (UTF-8); empty otherwise
};

// Reads every row whose ssDesc is the presence marker, in ssID order (numbers before texts). With
// judgeOwn, records of this thread's workstation name (read at the first record) are kOwn; without,
// none is.
std::vector<PresenceRow> ReadPresenceRows(db::Register& reg, bool judgeOwn = false);

// Reads a marked row as a record: unreadable when its ssOption was too long to read.
RecordKind ClassifyRow(RecordReader& reader, const db::MarkedRow& row,
                       std::optional<TextView> workstationName);

// Deletes the listed presence records (ids as stored) in one statement; rows whose ssDesc is not
// the marker are never touched, whatever their ssID. With a module, only rows of that module go
// (the empty module matches a null ssModeName too). An empty list sends nothing.
void DeletePresenceRows(db::Register& reg, const std::vector<db::Value>& ids,
                        const std::optional<Text>& module = std::nullopt);

}  // namespace wq::presence
