// Every presence record as this workstation's update would see it, for display.
#pragma once

#include <optional>
#include <vector>

#include "platform/db/value.h"
#include "platform/text/text.h"
#include "presence/record.h"

namespace wq::presence {

struct ListedRecord {
  db::Value id;                     // ssID as stored
  std::optional<Text> workstation;  // none for an unreadable record
  std::optional<Text> time;         // none for an unreadable record
  std::optional<Text> module;       // none when ssModeName is null
  bool login = false;               // ssState non-zero
  RecordKind kind = RecordKind::kUnreadable;
};

// Reads the presence records over a connection of its own, in ssID order, and classifies each
// for this thread's workstation name (read only when there is a record).
std::vector<ListedRecord> ListPresenceRecords(const Text& connectionString);

}  // namespace wq::presence
