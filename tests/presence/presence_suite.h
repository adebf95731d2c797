// The presence suite's fixture: one fresh database of the engine under test per test, and a
// fake environment that plays the workstations. Instantiate it once per engine:
//   INSTANTIATE_TEST_SUITE_P(Sqlite, PresenceUpdate, ::testing::Values(SqliteEngine()),
//                            EngineName);
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "presence/record.h"
#include "presence/update.h"
#include "tests/postgres_required.h"
#include "tests/presence/fake_env.h"
#include "tests/presence/test_database.h"

namespace wq::testing {

using presence::UpdateOnlineState;
using presence::UpdateResult;

// Shown in test names and failure messages instead of the object's bytes.
inline void PrintTo(const TestEngine& engine, std::ostream* os) { *os << engine.name; }

inline std::string EngineName(const ::testing::TestParamInfo<TestEngine>& info) {
  return info.param.name;
}

// A presence record as read back from the table.
struct Presence {
  std::string id;
  std::string workstation;
  std::string time;
  Cell module;
  Cell state;
};

class PresenceUpdate : public ::testing::TestWithParam<TestEngine> {
 protected:
  void SetUp() override {
    db_ = GetParam().make();
    if (!db_) WQ_SKIP_WITHOUT_POSTGRES() << GetParam().name << " is not available here";
  }
  void Create(Layout layout = Layout::kStandard) { db_->CreateSchema(layout); }

  Text Conn() const { return FromUtf8(db_->ConnectionString()); }
  static std::string Marker() { return ToUtf8(presence::PresenceMarker()); }
  static std::string Seal(const std::string& payload) {
    return ToUtf8(presence::SealPayload(FromUtf8(payload)));
  }

  // Runs one update as workstation ws, on a thread of its own.
  UpdateResult UpdateAs(const std::string& ws, int16_t state, const std::string& module = "",
                        bool login = false) {
    env_.SetName(FromUtf8(ws));
    const Text conn = Conn();
    return OnFreshThread([&] { return UpdateOnlineState(conn, state, FromUtf8(module), login); });
  }

  // Inserts a presence record with the given payload.
  std::string AddRecord(const std::string& payload, Cell module = std::string(), int64_t state = 0,
                        Cell id = std::nullopt) {
    return db_->Insert({id, Marker(), Seal(payload), module, state});
  }

  std::vector<Presence> Records() {
    std::vector<Presence> out;
    for (auto& row : db_->Query("SELECT ssID, ssOption, ssModeName, ssState FROM SystemSetting "
                                "WHERE ssDesc = '" +
                                Marker() + "' ORDER BY ssID")) {
      const std::string payload = ToUtf8(presence::UnsealPayload(FromUtf8(row[1].value())));
      const auto comma = payload.find(',');
      out.push_back({row[0].value_or("NULL"), payload.substr(0, comma),
                     comma == std::string::npos ? "" : payload.substr(comma + 1), row[2], row[3]});
    }
    return out;
  }
  std::vector<std::string> Workstations() {
    std::vector<std::string> names;
    for (const Presence& p : Records()) names.push_back(p.workstation);
    std::sort(names.begin(), names.end());
    return names;
  }
  std::vector<std::vector<Cell>> OtherRows() {
    return db_->Query("SELECT * FROM SystemSetting WHERE ssDesc IS NULL OR ssDesc <> '" + Marker() +
                      "' ORDER BY ssID");
  }

  std::unique_ptr<TestDatabase> db_;
  FakeEnv env_;
  ScopedEnv scoped_{&env_};
};

}  // namespace wq::testing
