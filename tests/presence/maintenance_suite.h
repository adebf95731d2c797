// The maintenance suite's fixture: the presence suite's database and helpers, and record times
// relative to the server's clock. Instantiate it once per engine:
//   INSTANTIATE_TEST_SUITE_P(Sqlite, PresenceMaintenance, ::testing::Values(SqliteEngine()),
//                            EngineName);
#pragma once

#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/db/register.h"
#include "platform/db/date_time.h"
#include "presence/maintenance.h"
#include "presence/server_time.h"
#include "tests/presence/presence_suite.h"

namespace wq::testing {

class PresenceMaintenance : public PresenceUpdate {
 protected:
  // The payload time text `seconds` from the server's present (negative: in the past).
  std::string At(int64_t seconds) {
    if (!now_) {
      auto reg = db::Register::Open(Conn());
      now_ = presence::ParseDate(presence::ReadServerTimeText(*reg));
      reg->Close();
    }
    return ToUtf8(presence::FormatServerTime(db::Value(db::AddSeconds(*now_, seconds))));
  }
  std::string Rec(const std::string& ws, int64_t seconds) { return ws + "," + At(seconds); }

  std::vector<std::vector<Cell>> Table() {
    return db_->Query("SELECT * FROM SystemSetting ORDER BY ssID");
  }
  std::set<std::string> Ids() {
    std::set<std::string> ids;
    for (const auto& row : db_->Query("SELECT ssID FROM SystemSetting")) ids.insert(*row[0]);
    return ids;
  }
  static std::vector<std::string> IdsOf(const std::vector<presence::PresenceRow>& rows) {
    std::vector<std::string> ids;
    for (const auto& r : rows) ids.push_back(std::to_string(r.number.value_or(-1)));
    return ids;
  }
  static std::vector<std::string> IdsOf(const std::vector<int64_t>& numbers) {
    std::vector<std::string> ids;
    for (int64_t n : numbers) ids.push_back(std::to_string(n));
    return ids;
  }
  // "id:kind" for each finding.
  static std::vector<std::string> Summary(const std::vector<presence::Finding>& findings) {
    std::vector<std::string> out;
    for (const presence::Finding& f : findings) {
      out.push_back((f.row.number ? std::to_string(*f.row.number) : "?") + ":" +
                    presence::TroubleName(f.trouble) + (f.removable ? "+" : ""));
    }
    return out;
  }

  std::optional<db::DateTime> now_;
};

}  // namespace wq::testing
