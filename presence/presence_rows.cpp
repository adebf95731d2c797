#include "presence/presence_rows.h"

#include <string>

#include "presence/module_state.h"
#include "presence/server_time.h"

namespace wq::presence {

std::vector<PresenceRow> ReadPresenceRows(db::Connection& connection, bool judgeOwn) {
  std::unique_ptr<db::Recordset> rs = connection.Execute(
      u"SELECT ssID, ssOption, ssState, ssModeName FROM SystemSetting WHERE ssDesc = ? "
      u"ORDER BY ssID",
      {db::Value(PresenceMarker())});
  std::vector<PresenceRow> rows;
  RecordReader reader;
  std::optional<TextView> own;
  for (; rs != nullptr && !rs->Eof(); rs->MoveNext()) {
    if (judgeOwn && !own) own = WorkstationName();
    PresenceRow row;
    row.id = rs->Field(u"ssID");
    row.number = WholeNumber(row.id);
    row.kind = reader.Classify(rs->Field(u"ssOption"), own);
    if (row.kind == RecordKind::kUnreadable) {
      row.problem = reader.problem();
    } else {
      row.workstation = Text(reader.workstation());
      row.time = Text(reader.time());
      row.when = ParseDate(row.time);
    }
    const db::Value modeName = rs->Field(u"ssModeName");
    row.module = ModuleOf(modeName);
    row.nullModule = modeName.IsNull();
    row.login = LoginFlagOf(rs->Field(u"ssState"));
    rows.push_back(std::move(row));
  }
  if (rs != nullptr) rs->Close();
  return rows;
}

Text IdList(const std::vector<int64_t>& ids) {
  std::string list;
  for (int64_t id : ids) {
    if (!list.empty()) list.push_back(',');
    list += std::to_string(id);
  }
  return Text(list.begin(), list.end());
}

void DeletePresenceRows(db::Connection& connection, const std::vector<int64_t>& ids,
                        const std::optional<Text>& module) {
  if (ids.empty()) return;
  Text sql = u"DELETE FROM SystemSetting WHERE ssDesc = ? AND ssID IN (" + IdList(ids) + u")";
  std::vector<db::Value> params = {db::Value(PresenceMarker())};
  if (module) {
    sql +=
        module->empty() ? u" AND (ssModeName = ? OR ssModeName IS NULL)" : u" AND ssModeName = ?";
    params.emplace_back(*module);
  }
  connection.Execute(sql, params);
}

}  // namespace wq::presence
