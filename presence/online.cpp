#include "presence/online.h"

#include <algorithm>
#include <map>
#include <memory>

#include "platform/db/register.h"
#include "platform/db/date_time.h"
#include "presence/server_time.h"

namespace wq::presence {

OnlineSnapshot ReadOnline(const Text& connectionString) {
  std::unique_ptr<db::Register> reg = db::Register::Open(connectionString, db::Access::kReadOnly);
  OnlineSnapshot snapshot;
  snapshot.serverTime = ReadServerTimeText(*reg);
  const std::optional<db::DateTime> now = ParseDate(snapshot.serverTime);
  std::map<Text, std::vector<OnlineEntry>> byModule;
  for (PresenceRow& row : ReadPresenceRows(*reg)) {
    switch (row.kind) {
      case RecordKind::kUnreadable:
        ++snapshot.unreadable;
        break;
      case RecordKind::kDamaged:
        ++snapshot.damaged;
        break;
      case RecordKind::kOwn:  // not judged here
      case RecordKind::kLive: {
        std::optional<int64_t> age;
        if (now) age = db::SecondsBetween(*row.when, *now);
        Text module = row.module;
        byModule[std::move(module)].push_back({std::move(row), age});
        break;
      }
    }
  }
  reg->Close();
  for (auto& [module, entries] : byModule) {
    std::stable_sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
      return ToUpper(a.row.workstation) < ToUpper(b.row.workstation);
    });
    snapshot.modules.push_back({module, std::move(entries)});
  }
  return snapshot;
}

}  // namespace wq::presence
