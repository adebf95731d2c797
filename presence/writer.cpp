#include "presence/writer.h"

#include "platform/db/register.h"
#include "presence/record.h"
#include "presence/server_time.h"

namespace wq::presence {

void WriteOnlineRecord(const Text& connectionString, const Text& workstationName,
                       const Text& timeText, const Text& moduleName, bool loginFlag) {
  std::unique_ptr<db::Register> reg = db::Register::Open(connectionString);
  const Text time = timeText.empty() ? ReadServerTimeText(*reg) : timeText;
  reg->Add(PresenceMarker(), SealPayload(MakePayload(workstationName, time)),
           loginFlag ? int16_t{1} : int16_t{0}, moduleName);
  reg->Close();
}

}  // namespace wq::presence
