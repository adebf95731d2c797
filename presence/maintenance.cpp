#include "presence/maintenance.h"

#include <algorithm>
#include <map>
#include <memory>
#include <utility>

#include "platform/db/date_time.h"
#include "platform/db/register.h"
#include "platform/error.h"
#include "presence/server_time.h"

namespace wq::presence {
namespace {

// Whether a is newer than b among records of one workstation and module.
bool Newer(const PresenceRow& a, const PresenceRow& b) {
  if (a.when.has_value() != b.when.has_value()) return a.when.has_value();
  if (a.when && b.when) {
    const int64_t d = db::SecondsBetween(*b.when, *a.when);
    if (d != 0) return d > 0;
  }
  return a.number.value_or(INT64_MIN) > b.number.value_or(INT64_MIN);
}

std::string Quoted(TextView text) { return "\"" + ToUtf8(text) + "\""; }

std::string IdText(const PresenceRow& row) {
  return row.number ? std::to_string(*row.number) : std::string("?");
}

}  // namespace

PruneResult Prune(const Text& connectionString, const PruneOptions& options,
                  const UtcOffsetAt& serverZone) {
  std::unique_ptr<db::Register> reg = db::Register::Open(
      connectionString, options.dryRun ? db::Access::kReadOnly : db::Access::kReadWrite);
  PruneResult result;
  result.serverTime = ReadServerTimeText(*reg);
  const std::optional<db::DateTime> now = ParseDate(result.serverTime);
  if (!now) {
    throw Error::Database(kProviderError, "",
                          "the server time text " + Quoted(result.serverTime) +
                              " is not a date, so no record's age can be judged");
  }
  const UtcOffsetAt zone = serverZone ? serverZone : UtcOffsetAt(db::LocalUtcOffset);
  std::vector<db::Value> ids;
  for (PresenceRow& row : ReadPresenceRows(*reg)) {
    if (row.kind != RecordKind::kLive || !row.number) continue;
    if (options.module && row.module != *options.module) continue;
    // A record goes only when it is older than the limit however the two readings are taken
    // around a change of the zone's offset (spring or autumn); the plain difference is one of
    // those readings, so a record it keeps is kept without looking further.
    if (db::SecondsBetween(*row.when, *now) <= options.olderThanSeconds) continue;
    if (LeastAge(*row.when, *now, zone) <= options.olderThanSeconds) continue;
    ids.push_back(row.id);
    result.expired.push_back(std::move(row));
  }
  if (!options.dryRun) DeletePresenceRows(*reg, ids, options.module);
  reg->Close();
  return result;
}

const char* TroubleName(Trouble trouble) {
  static constexpr const char* kNames[] = {"unreadable", "damaged", "duplicate", "bad id"};
  return kNames[static_cast<int>(trouble)];
}

std::vector<Finding> Diagnose(const std::vector<PresenceRow>& rows) {
  std::vector<Finding> findings;
  // The newest record of each workstation and module, by index into rows.
  std::map<std::pair<Text, Text>, size_t> newest;
  for (size_t i = 0; i < rows.size(); ++i) {
    const PresenceRow& row = rows[i];
    if (row.kind == RecordKind::kUnreadable) continue;
    auto [it, added] = newest.try_emplace({ToUpper(row.workstation), row.module}, i);
    if (!added && Newer(row, rows[it->second])) it->second = i;
  }

  for (size_t i = 0; i < rows.size(); ++i) {
    const PresenceRow& row = rows[i];
    if (!row.number) {
      findings.push_back({row, Trouble::kBadId, "ssID is not a whole number", false});
    }
    switch (row.kind) {
      case RecordKind::kUnreadable:
        findings.push_back({row, Trouble::kUnreadable, row.problem, row.number.has_value()});
        continue;
      case RecordKind::kDamaged:
        findings.push_back({row, Trouble::kDamaged,
                            "the time text " + Quoted(row.time) + " is not a date", false});
        break;
      case RecordKind::kOwn:  // not judged here
      case RecordKind::kLive:
        break;
    }
    const size_t keep = newest.at({ToUpper(row.workstation), row.module});
    if (keep != i) {
      const PresenceRow& kept = rows[keep];
      findings.push_back({row, Trouble::kDuplicate,
                          Quoted(row.workstation) + " in module " + Quoted(row.module) +
                              " has a newer record, id " + IdText(kept),
                          row.number.has_value()});
    }
  }
  return findings;
}

DoctorReport Doctor(const Text& connectionString, bool repair) {
  std::unique_ptr<db::Register> reg =
      db::Register::Open(connectionString, repair ? db::Access::kReadWrite : db::Access::kReadOnly);
  DoctorReport report;
  report.findings = Diagnose(ReadPresenceRows(*reg));
  if (repair) {
    std::map<int64_t, db::Value> removed;  // each id once, as stored
    for (const Finding& f : report.findings) {
      if (f.removable) removed.try_emplace(*f.row.number, f.row.id);
    }
    std::vector<db::Value> ids;
    for (const auto& [number, id] : removed) {
      report.removed.push_back(number);
      ids.push_back(id);
    }
    DeletePresenceRows(*reg, ids);
  }
  reg->Close();
  return report;
}

}  // namespace wq::presence
