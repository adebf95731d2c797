// How `webquorrel list` shows presence records: a JSON array or an aligned table.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/json.h"
#include "presence/presence_rows.h"

namespace wq::cli {

// One record as `list --json` and the web page's /api/online both show it:
// {"id", "workstation", "time", "timeIso", "ageSeconds", "module", "login", "kind"}. id is a
// number when ssID is a whole number (presence::WholeNumber), else its text (null for null);
// workstation and time are null for an unreadable record, login too (it is unknown); timeIso is
// the time as ISO 8601 ("2026-03-07T09:05:02", the server's local time) or null when the time is
// not a date; ageSeconds is null when unknown; module is null for a record without one.
Json RecordJson(const presence::PresenceRow& record, std::optional<int64_t> ageSeconds);

// Seconds from the record's time to the server's time `now`; none when either is unknown.
std::optional<int64_t> AgeSeconds(const presence::PresenceRow& record,
                                  const std::optional<db::DateTime>& now);

// One JSON array of RecordJson objects, their ages taken at `now`.
std::string RecordsAsJson(const std::vector<presence::PresenceRow>& records,
                          const std::optional<db::DateTime>& now = std::nullopt);

// A header line and one line per record, columns aligned by display width, with each record's
// age at `now` ("-" when unknown). Control characters in stored texts are shown as '?', so that a
// record cannot drive the terminal.
std::string RecordsAsTable(const std::vector<presence::PresenceRow>& records,
                           const std::optional<db::DateTime>& now = std::nullopt);

// An age as a person reads it: "42s", "5m 03s", "2h 05m", "3d 04h"; negative ages (a clock
// ahead of the server's) as "-42s".
std::string AgeText(int64_t seconds);

}  // namespace wq::cli
