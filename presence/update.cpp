#include "presence/update.h"

#include <memory>
#include <new>
#include <optional>
#include <string>

#include "platform/db/connection.h"
#include "platform/host/host.h"
#include "presence/module_state.h"
#include "presence/record.h"
#include "presence/server_time.h"
#include "presence/writer.h"

namespace wq::presence {
namespace {

constexpr char16_t kBadClockMessage[] = u"计算机时间设置为非标准格式，系统可能无法正常运行";

Text MarkerQuery() {
  return u"SELECT * FROM SystemSetting WHERE ssDesc = '" + PresenceMarker() + u"'";
}

// The decimal digits of a row identifier, the only text of a row that reaches a statement.
// Anything but a whole number raises type mismatch.
std::string IdDigits(const db::Value& id) {
  const std::optional<int64_t> n = WholeNumber(id);
  if (!n) throw Error::TypeMismatch("ssID is not a whole number");
  return std::to_string(*n);
}

// Appends an identifier to the comma-separated delete list.
void AppendId(const std::string& digits, Text& list) {
  if (!list.empty()) list.push_back(u',');
  list.append(digits.begin(), digits.end());
}

// Whether this update's delete statement removes a row of that module. The comparison is exact,
// so it never claims a row that the database's own comparison would keep; a database that
// compares more loosely (SQL Server ignores case and trailing blanks) only leaves a few damaged
// records whole and unreplaced. platform/db/odbc/README.md says why this is not the server's rule.
bool DeleteCovers(const Text& ModName, const db::Value& modeName) {
  return ModName.empty() || (modeName.IsText() && modeName.text() == ModName);
}

// step names the step under way, for the failure's description.
int32_t Update(const Text& gstrConnSystem, int16_t SelfState, const Text& ModName, bool ModLogin,
               const char*& step) {
  step = "open";
  std::unique_ptr<db::Connection> conn = db::Connection::Open(gstrConnSystem);

  step = "server time";
  const Text serverTime = ReadServerTimeText(*conn);
  if (!IsDate(serverTime)) {
    Host::Default().ShowMessage(serverTime + u"\r\n" + kBadClockMessage);
  }

  const Text markerQuery = MarkerQuery();
  Text deleteList;
  {
    step = "marker query";
    std::unique_ptr<db::Recordset> rs = conn->OpenKeyset(markerQuery);
    step = "scan";
    RecordReader reader;
    const Text* workstation = nullptr;
    for (; !rs->Eof(); rs->MoveNext()) {
      if (workstation == nullptr) workstation = &WorkstationName();
      switch (reader.Classify(rs->Field(u"ssOption"), *workstation)) {
        case RecordKind::kOwn:
          AppendId(IdDigits(rs->Field(u"ssID")), deleteList);
          break;
        case RecordKind::kLive:
          break;
        case RecordKind::kDamaged: {
          // Replaced only when the delete below removes it, so that no update multiplies the
          // replacements of a record it cannot remove.
          const db::Value modeName = rs->Field(u"ssModeName");
          if (!DeleteCovers(ModName, modeName)) break;
          const std::string id = IdDigits(rs->Field(u"ssID"));  // fails before any write
          step = "replacement record";
          WriteOnlineRecord(gstrConnSystem, Text(reader.workstation()), serverTime,
                            ModuleOf(modeName), LoginFlagOf(rs->Field(u"ssState")));
          AppendId(id, deleteList);
          step = "scan";
          break;
        }
        case RecordKind::kUnreadable:
          if (DeleteCovers(ModName, rs->Field(u"ssModeName"))) {
            AppendId(IdDigits(rs->Field(u"ssID")), deleteList);
          }
          break;
      }
    }
    rs->Close();
  }

  if (!deleteList.empty()) {
    step = "delete";
    const Text head = u"DELETE FROM SystemSetting WHERE ssID IN (" + deleteList + u") ";
    if (ModName.empty()) {
      conn->Execute(head);
    } else {
      // The module name travels as a parameter, never as SQL text.
      conn->Execute(head + u"and ssModeName = ?", {db::Value(ModName)});
    }
  }

  if (SelfState == 2) {
    step = "register";
    WriteOnlineRecord(gstrConnSystem, WorkstationName(), Text(), ModName, ModLogin);
  }

  step = "count";
  std::unique_ptr<db::Recordset> count = conn->OpenKeyset(markerQuery);
  const int32_t result = count->RecordCount();
  count->Close();
  conn->Close();
  return result;
}

}  // namespace

UpdateResult RunUpdate(const Text& gstrConnSystem, int16_t SelfState, const Text& ModName,
                       bool ModLogin) {
  UpdateResult result;
  try {
    result.count = Update(gstrConnSystem, SelfState, ModName, ModLogin, result.step);
  } catch (const DatabaseError& e) {
    result.error = e;
    result.fromDatabase = true;
    result.sqlstate = e.sqlstate();
  } catch (const Error& e) {
    result.error = e;
  } catch (const std::bad_alloc&) {
    result.error = Error(7, "Out of memory");
  } catch (const std::exception& e) {
    result.error = Error(kProviderError, e.what());
  } catch (...) {
    result.error = Error(kProviderError, "Unknown failure");
  }
  if (result.error) result.count = 0;
  return result;
}

int32_t UpdateOnlineState(const Text& gstrConnSystem, int16_t SelfState, const Text& ModName,
                          bool ModLogin) noexcept {
  try {
    return RunUpdate(gstrConnSystem, SelfState, ModName, ModLogin).count;
  } catch (...) {
    return 0;  // even building the error failed; the caller only ever sees the count
  }
}

}  // namespace wq::presence
