#include "presence/update.h"

#include <memory>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "platform/db/register.h"
#include "platform/env/env.h"
#include "presence/module_state.h"
#include "presence/presence_rows.h"
#include "presence/record.h"
#include "presence/record_id.h"
#include "presence/server_time.h"
#include "presence/writer.h"

namespace wq::presence {
namespace {

constexpr char16_t kBadClockMessage[] = u"计算机时间设置为非标准格式，系统可能无法正常运行";

// A row identifier for the delete list, as stored. Anything but a whole number (a number, or a
// text of digits) raises type mismatch, before anything is written.
const db::Value& ListedId(const db::Value& id) {
  if (!WholeNumber(id)) throw Error::TypeMismatch("ssID is not a whole number");
  return id;
}

// Whether this update's delete statement removes a row of that module. The comparison is exact,
// so it never claims a row that the database's own comparison would keep; a database that
// compares more loosely (SQL Server ignores case and trailing blanks) only leaves a few damaged
// records whole and unreplaced. platform/db/odbc/README.md says why this is not the server's rule.
bool DeleteCovers(const Text& ModName, const db::Value& modeName) {
  return ModName.empty() || (modeName.IsText() && modeName.text() == ModName);
}

// step names the step under way, for the failure's description.
int32_t RunSteps(const Text& gstrConnSystem, int16_t SelfState, const Text& ModName, bool ModLogin,
                 const char*& step) {
  step = "open";
  std::unique_ptr<db::Register> reg = db::Register::Open(gstrConnSystem);

  step = "server time";
  const Text serverTime = ReadServerTimeText(*reg);
  if (!IsDate(serverTime)) {
    Env::Default().ShowMessage(serverTime + u"\r\n" + kBadClockMessage);
  }

  const Text marker = PresenceMarker();
  // A damaged record of another workstation, to be written anew once the scan is over.
  struct Replacement {
    Text workstation;
    Text module;
    bool login;
  };
  std::vector<Replacement> replacements;
  std::vector<db::Value> deleteList;
  {
    // Every row is read and judged before anything is written, so a record written by this
    // update is never visited, and a row that cannot be listed fails the update with nothing
    // written. Only what is to be written or deleted is kept, not the rows.
    step = "marker query";
    RecordReader reader;
    const Text* workstation = nullptr;
    reg->ScanMarked(marker, [&](const db::MarkedRow& row) {
      step = "scan";
      if (workstation == nullptr) workstation = &WorkstationName();
      switch (ClassifyRow(reader, row, *workstation)) {
        case RecordKind::kOwn:
          deleteList.push_back(ListedId(row.id));
          break;
        case RecordKind::kLive:
          break;
        case RecordKind::kDamaged:
          // Replaced only when the delete below removes it, so that no update multiplies the
          // replacements of a record it cannot remove.
          if (!DeleteCovers(ModName, row.module)) break;
          deleteList.push_back(ListedId(row.id));
          replacements.push_back(
              {Text(reader.workstation()), ModuleOf(row.module), LoginFlagOf(row.state)});
          break;
        case RecordKind::kUnreadable:
          if (DeleteCovers(ModName, row.module)) deleteList.push_back(ListedId(row.id));
          break;
      }
      step = "marker query";
    });
  }

  for (const Replacement& r : replacements) {
    step = "replacement record";
    WriteOnlineRecord(gstrConnSystem, r.workstation, serverTime, r.module, r.login);
  }

  if (!deleteList.empty()) {
    step = "delete";
    reg->DeleteMarked(marker, deleteList,
                      ModName.empty() ? std::nullopt : std::optional<Text>(ModName));
  }

  if (SelfState == 2) {
    step = "register";
    WriteOnlineRecord(gstrConnSystem, WorkstationName(), Text(), ModName, ModLogin);
  }

  step = "count";
  const int64_t count = reg->CountMarked(marker);
  reg->Close();
  return static_cast<int32_t>(count);
}

}  // namespace

UpdateResult UpdateOnlineState(const Text& gstrConnSystem, int16_t SelfState, const Text& ModName,
                               bool ModLogin) {
  const char* step = "";
  try {
    UpdateResult result;
    result.count = RunSteps(gstrConnSystem, SelfState, ModName, ModLogin, step);
    return result;
  } catch (...) {
    return CurrentFailure(step);
  }
}

UpdateResult CurrentFailure(const char* step) {
  UpdateResult result;
  result.step = step;
  try {
    throw;
  } catch (const Error& e) {
    result.error = e;
  } catch (const std::bad_alloc&) {
    result.error = Error(7, "Out of memory");
  } catch (const std::exception& e) {
    result.error = Error(kProviderError, e.what());
  } catch (...) {
    result.error = Error(kProviderError, "Unknown failure");
  }
  return result;
}

}  // namespace wq::presence
