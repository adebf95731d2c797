#include "presence/presence_rows.h"

#include <cmath>
#include <string>

#include "platform/error.h"
#include "presence/record.h"
#include "presence/server_time.h"

namespace wq::presence {
namespace {

// Unseals a record's ssOption into row, or says in row.problem why it cannot be read.
void ReadPayload(const db::Value& ssOption, PresenceRow& row) {
  if (ssOption.IsNull()) {
    row.problem = "ssOption has no value";
    return;
  }
  if (!ssOption.IsText()) {
    row.problem = "ssOption is not text";
    return;
  }
  Text payload;
  try {
    payload = UnsealPayload(ssOption.text());
  } catch (const Error& e) {
    row.problem = std::string("ssOption is not sealed hex text (") + e.what() + ")";
    return;
  }
  const size_t comma = payload.find(u',');
  if (comma == Text::npos) {
    row.problem = "the payload holds no \",\"";
    return;
  }
  const size_t end = payload.find(u',', comma + 1);
  row.workstation = payload.substr(0, comma);
  row.time = payload.substr(comma + 1, end == Text::npos ? Text::npos : end - comma - 1);
  row.when = ParseDate(row.time);
  row.condition = row.when ? Condition::kLive : Condition::kDamaged;
}

}  // namespace

std::optional<int64_t> RowNumber(const db::Value& id) {
  if (id.IsInteger()) return id.integer();
  if (id.IsReal()) {
    const double v = id.real();
    if (std::isfinite(v) && std::trunc(v) == v && std::fabs(v) < 9.0e18) {
      return static_cast<int64_t>(v);
    }
    return std::nullopt;
  }
  if (id.IsText() && !id.text().empty() && id.text().size() <= 18) {
    int64_t n = 0;
    for (char16_t c : id.text()) {
      if (c < u'0' || c > u'9') return std::nullopt;
      n = n * 10 + (c - u'0');
    }
    return n;
  }
  return std::nullopt;
}

std::vector<PresenceRow> ReadPresenceRows(db::Connection& connection) {
  std::unique_ptr<db::Recordset> rs = connection.Execute(
      u"SELECT ssID, ssOption, ssState, ssModeName FROM SystemSetting WHERE ssDesc = ? "
      u"ORDER BY ssID",
      {db::Value(PresenceMarker())});
  std::vector<PresenceRow> rows;
  for (; rs != nullptr && !rs->Eof(); rs->MoveNext()) {
    PresenceRow row;
    row.id = rs->Field(u"ssID");
    row.number = RowNumber(row.id);
    ReadPayload(rs->Field(u"ssOption"), row);
    row.module = ModuleOf(rs->Field(u"ssModeName"));
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
