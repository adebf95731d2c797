#include "presence/presence_rows.h"

#include <algorithm>
#include <cstdint>

#include "presence/module_state.h"
#include "presence/server_time.h"

namespace wq::presence {

RecordKind ClassifyRow(RecordReader& reader, const db::MarkedRow& row,
                       std::optional<TextView> workstationName) {
  if (row.optionTooLong) return reader.Unreadable("ssOption is longer than any record");
  return reader.Classify(row.option, workstationName);
}

std::vector<PresenceRow> ReadPresenceRows(db::Register& reg, bool judgeOwn) {
  std::vector<PresenceRow> rows;
  RecordReader reader;
  std::optional<TextView> own;
  reg.ScanMarked(PresenceMarker(), [&](const db::MarkedRow& marked) {
    if (judgeOwn && !own) own = WorkstationName();
    PresenceRow row;
    row.id = marked.id;
    row.number = WholeNumber(row.id);
    row.kind = ClassifyRow(reader, marked, own);
    if (row.kind == RecordKind::kUnreadable) {
      row.problem = reader.problem();
    } else {
      row.workstation = Text(reader.workstation());
      row.time = Text(reader.time());
      row.when = ParseDate(row.time);
    }
    row.module = ModuleOf(marked.module);
    row.nullModule = marked.module.IsNull();
    row.login = LoginFlagOf(marked.state);
    rows.push_back(std::move(row));
  });
  // In ssID order as SQL sorts it: numbers before texts, texts by their units.
  const auto rank = [](const db::Value& v) { return v.IsText() ? 2 : v.IsNull() ? 0 : 1; };
  std::stable_sort(rows.begin(), rows.end(), [&](const PresenceRow& a, const PresenceRow& b) {
    if (rank(a.id) != rank(b.id)) return rank(a.id) < rank(b.id);
    if (a.id.IsText()) return a.id.text() < b.id.text();
    return a.number.value_or(INT64_MIN) < b.number.value_or(INT64_MIN);
  });
  return rows;
}

void DeletePresenceRows(db::Register& reg, const std::vector<db::Value>& ids,
                        const std::optional<Text>& module) {
  reg.DeleteMarked(PresenceMarker(), ids, module);
}

}  // namespace wq::presence
