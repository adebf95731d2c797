#include "presence/counting.h"

#include <map>
#include <memory>

#include "platform/error.h"
#include "presence/record.h"

namespace wq::presence {
namespace {

// COUNT(*) arrives as an integer on most engines; some drivers hand it over as text.
int64_t CountValue(const db::Value& v) {
  if (v.IsNull()) return 0;
  if (std::optional<int64_t> n = WholeNumber(v)) return *n;
  throw Error::TypeMismatch("the count is not a whole number");
}

}  // namespace

int64_t CountPresenceRecords(db::Connection& connection) {
  std::unique_ptr<db::Recordset> rs = connection.Execute(
      u"SELECT COUNT(*) AS n FROM SystemSetting WHERE ssDesc = ?", {db::Value(PresenceMarker())});
  int64_t n = 0;
  if (rs != nullptr && !rs->Eof()) n = CountValue(rs->Field(u"n"));
  if (rs != nullptr) rs->Close();
  return n;
}

std::vector<ModuleCount> CountByModule(db::Connection& connection) {
  // Counted here rather than grouped in SQL: engines differ in how they compare texts (SQL
  // Server's usual collation would merge "Sales" and "sales"), and a null and an empty module
  // are the same module to the register.
  std::unique_ptr<db::Recordset> rs = connection.Execute(
      u"SELECT ssModeName FROM SystemSetting WHERE ssDesc = ?", {db::Value(PresenceMarker())});
  std::map<Text, int64_t> counts;
  for (; rs != nullptr && !rs->Eof(); rs->MoveNext()) ++counts[ModuleOf(rs->Field(u"ssModeName"))];
  if (rs != nullptr) rs->Close();
  std::vector<ModuleCount> out;
  for (auto& [module, n] : counts) out.push_back({module, n});
  return out;
}

}  // namespace wq::presence
