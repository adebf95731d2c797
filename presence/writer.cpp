#include "presence/writer.h"

#include "platform/db/connection.h"
#include "presence/record.h"
#include "presence/server_time.h"

namespace wq::presence {

void WriteOnlineRecord(const Text& connectionString, const Text& workstationName,
                       const Text& timeText, const Text& moduleName, bool loginFlag) {
  std::unique_ptr<db::Connection> conn = db::Connection::Open(connectionString);
  const Text time = timeText.empty() ? ReadServerTimeText(*conn) : timeText;

  std::unique_ptr<db::Recordset> rs = conn->OpenKeyset(u"SELECT * FROM SystemSetting");
  rs->AddNew();
  rs->SetField(u"ssDesc", PresenceMarker());
  rs->SetField(u"ssOption", SealPayload(MakePayload(workstationName, time)));
  rs->SetField(u"ssState", int16_t{loginFlag ? int16_t{1} : int16_t{0}});
  rs->SetField(u"ssModeName", moduleName);
  rs->Update();
  rs->Close();
  conn->Close();
}

}  // namespace wq::presence
