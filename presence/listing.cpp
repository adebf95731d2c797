#include "presence/listing.h"

#include "platform/db/connection.h"
#include "presence/module_state.h"

namespace wq::presence {

std::vector<ListedRecord> ListPresenceRecords(const Text& connectionString) {
  auto conn = db::Connection::Open(connectionString);
  auto rs = conn->Execute(
      u"SELECT ssID, ssOption, ssState, ssModeName FROM SystemSetting WHERE ssDesc = ? "
      u"ORDER BY ssID",
      {db::Value(PresenceMarker())});
  std::vector<ListedRecord> out;
  RecordReader reader;
  for (; rs != nullptr && !rs->Eof(); rs->MoveNext()) {
    ListedRecord r;
    r.id = rs->Field(u"ssID");
    r.kind = reader.Classify(rs->Field(u"ssOption"), WorkstationName());
    if (r.kind != RecordKind::kUnreadable) {
      r.workstation = Text(reader.workstation());
      r.time = Text(reader.time());
    }
    if (db::Value m = rs->Field(u"ssModeName"); !m.IsNull()) r.module = ModuleOf(m);
    r.login = LoginFlagOf(rs->Field(u"ssState"));
    out.push_back(std::move(r));
  }
  if (rs != nullptr) rs->Close();
  conn->Close();
  return out;
}

}  // namespace wq::presence
