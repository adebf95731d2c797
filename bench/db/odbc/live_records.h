// Fills SystemSetting with N live presence records of other workstations in module `module`,
// after removing every presence record, one INSERT per thousand rows (the sealed payloads and the
// marker are hex digits only, so they stand in the SQL text as they are).
#pragma once

#include <algorithm>
#include <string>

#include "platform/db/register.h"
#include "presence/record.h"

namespace wq::bench {

inline void FillLiveRecords(const Text& conn, int live, const Text& module) {
  auto db = db::Register::Open(conn);
  const Text marker = presence::PresenceMarker();
  db->RunSchemaStatement(u"DELETE FROM SystemSetting WHERE ssDesc = '" + marker + u"'");
  for (int first = 0; first < live; first += 1000) {
    Text sql = u"INSERT INTO SystemSetting (ssDesc, ssOption, ssState, ssModeName) VALUES ";
    for (int i = first; i < std::min(live, first + 1000); ++i) {
      if (i > first) sql += u",";
      sql += u"('" + marker + u"','" +
             presence::SealPayload(FromUtf8("WS-" + std::to_string(i) + ",2026-3-7 9:05:02")) +
             u"',0,'" + module + u"')";
    }
    db->RunSchemaStatement(sql);
  }
  db->Close();
}

}  // namespace wq::bench
