// How `webquorrel list` shows presence records: a JSON array or an aligned table.
#pragma once

#include <string>
#include <vector>

#include "presence/presence_rows.h"

namespace wq::cli {

// One JSON array of objects with the keys id, workstation, time, module, login, kind. id is a
// number when ssID is a whole number (presence::WholeNumber), else its text (null for null);
// workstation and time are null for an unreadable record, module for a null ssModeName.
std::string RecordsAsJson(const std::vector<presence::PresenceRow>& records);

// A header line and one line per record, columns aligned by display width. Control characters
// in stored texts are shown as '?', so that a record cannot drive the terminal.
std::string RecordsAsTable(const std::vector<presence::PresenceRow>& records);

}  // namespace wq::cli
