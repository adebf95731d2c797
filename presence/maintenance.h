// What operators run beside the update: expiry of old records (prune) and the check and repair
// of records that would trouble every workstation's update (doctor).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/text/text.h"
#include "presence/age.h"
#include "presence/presence_rows.h"

namespace wq::presence {

struct PruneOptions {
  int64_t olderThanSeconds = 0;  // strictly older than this by the server's clock
  std::optional<Text> module;    // only records of this module (exact text)
  bool dryRun = false;           // report, delete nothing
};

struct PruneResult {
  Text serverTime;                   // the server time text the ages were taken against
  std::vector<PresenceRow> expired;  // removed, or what a dry run would remove, in ssID order
};

// Removes live records whose time text is older than the limit by the server's clock, in one
// statement. Damaged and unreadable records are left to the update and to Doctor, and so are
// records whose ssID is not a whole number. Raises a database failure (Error::Database) when the
// server time text is not a date, since no age can then be judged; nothing is removed. zone: the
// zone the server's clock follows; the machine's own (db::LocalUtcOffset) when empty.
PruneResult Prune(const Text& connectionString, const PruneOptions& options,
                  const UtcOffsetAt& zone = {});

enum class Trouble {
  kUnreadable,  // every update stops on it
  kDamaged,     // every update of another workstation replaces it
  kDuplicate,   // an older record of a workstation and module that has a newer one
  kBadId,       // ssID is not a whole number: an update that lists it fails
};

// "unreadable", "damaged", "duplicate", "bad id".
const char* TroubleName(Trouble trouble);

struct Finding {
  PresenceRow row;
  Trouble trouble = Trouble::kUnreadable;
  std::string reason;      // UTF-8; holds stored names as they are, unescaped
  bool removable = false;  // what a repair removes: unreadable records and older duplicates
};

// The findings over a table's presence records, in ssID order (a record may have several).
// Duplicates are records with the same upper-cased workstation name and the same module (a null
// module counts as the empty one); the newest by time text is kept, a time text that is not a
// date counting as older than any date, ties going to the highest ssID.
std::vector<Finding> Diagnose(const std::vector<PresenceRow>& rows);

struct DoctorReport {
  std::vector<Finding> findings;
  std::vector<int64_t> removed;  // ssIDs removed by the repair, ascending
  bool healthy() const { return findings.empty(); }
};

// Diagnoses the table; with repair, removes the removable findings in one statement.
DoctorReport Doctor(const Text& connectionString, bool repair);

}  // namespace wq::presence
