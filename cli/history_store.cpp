#include "cli/history_store.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <system_error>

#include "cli/connection_option.h"
#include "cli/system.h"
#include "platform/error.h"
#include "presence/record.h"

namespace wq::cli {
namespace {

constexpr int64_t kHour = 3600;

int64_t Integer(const db::Value& v, const char* what) {
  if (std::optional<int64_t> n = presence::WholeNumber(v)) return *n;
  throw Error(kTypeMismatch, std::string("the history file holds a damaged ") + what);
}

// The counts as stored: [["module", online, at], ...].
std::string CountsText(const std::vector<ModuleOnline>& counts) {
  nlohmann::json array = nlohmann::json::array();
  for (const ModuleOnline& m : counts) array.push_back({ToUtf8(m.module), m.online, m.at});
  return array.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::vector<ModuleOnline> ParseCounts(const db::Value& v) {
  const std::string text = v.IsText() ? ToUtf8(v.text()) : std::string();
  const nlohmann::json array = nlohmann::json::parse(text, nullptr, false);
  std::vector<ModuleOnline> out;
  bool ok = array.is_array();
  for (size_t i = 0; ok && i < array.size(); ++i) {
    const auto& e = array[i];
    ok = e.is_array() && e.size() == 3 && e[0].is_string() && e[1].is_number_integer() &&
         e[2].is_number_integer();
    if (ok)
      out.push_back({FromUtf8(e[0].get<std::string>()), e[1].get<int64_t>(), e[2].get<int64_t>()});
  }
  if (!ok)
    throw Error(kTypeMismatch, "the history file holds a damaged sample: " + text.substr(0, 80));
  return out;
}

// The larger count of each module; of equal ones the earlier.
void MergePeaks(std::map<Text, ModuleOnline>& peaks, const std::vector<ModuleOnline>& counts) {
  for (const ModuleOnline& m : counts) {
    auto [it, added] = peaks.try_emplace(m.module, m);
    if (!added &&
        (m.online > it->second.online || (m.online == it->second.online && m.at < it->second.at))) {
      it->second = m;
    }
  }
}

std::filesystem::path PathOf(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string Utf8Of(const std::filesystem::path& path) {
  const std::u8string s = path.u8string();
  return std::string(s.begin(), s.end());
}

}  // namespace

std::string DefaultHistoryPath() {
#ifdef _WIN32
  std::string base = EnvironmentVariable("LOCALAPPDATA");
  if (base.empty()) base = EnvironmentVariable("APPDATA");
  if (base.empty()) throw Error(kInvalidProcedureCall, "no %LOCALAPPDATA%: pass --history FILE");
  return Utf8Of(PathOf(base) / "webquorrel" / "history.db");
#else
  return (std::filesystem::path(EmbeddedDatabasePath()).parent_path() / "history.db").string();
#endif
}

Text HistoryConnectionString(const std::string& path) {
#ifdef _WIN32
  std::string driver = EnvironmentVariable("WEBQUORREL_SQLITE_DRIVER");
  if (driver.empty()) driver = "SQLite3 ODBC Driver";
  std::string quoted;
  for (char c : path) {
    if (c == '"') quoted.push_back('"');
    quoted.push_back(c);
  }
  return FromUtf8("Driver={" + driver + "};Database=\"" + quoted + "\"");
#else
  return SqliteConnectionString(path);
#endif
}

std::unique_ptr<HistoryStore> HistoryStore::Open(const std::string& path, bool create) {
  const std::filesystem::path file = PathOf(path);
  std::error_code ec;
  if (!create && !std::filesystem::exists(file, ec)) return nullptr;
  if (create && file.has_parent_path()) {
    std::filesystem::create_directories(file.parent_path(), ec);
    if (ec) {
      throw Error(kInvalidProcedureCall,
                  "cannot create " + Utf8Of(file.parent_path()) + ": " + ec.message());
    }
  }
  std::unique_ptr<HistoryStore> store(
      new HistoryStore(db::Connection::Open(HistoryConnectionString(path))));
  {  // also on opening, for a file whose first sampler was stopped before it made the tables
    store->conn_->Execute(
        u"CREATE TABLE IF NOT EXISTS minute_sample (taken INTEGER PRIMARY KEY, counts TEXT NOT "
        u"NULL)");
    store->conn_->Execute(
        u"CREATE TABLE IF NOT EXISTS hour_peak (taken INTEGER PRIMARY KEY, counts TEXT NOT NULL)");
  }
  return store;
}

HistoryStore::~HistoryStore() {
  try {
    conn_->Close();
  } catch (...) {
  }
}

void HistoryStore::Record(int64_t now, const std::vector<ModuleOnline>& counts) {
  const int64_t minute = now - now % 60;
  std::vector<ModuleOnline> stamped = counts;
  for (ModuleOnline& m : stamped) m.at = minute;
  conn_->Execute(u"INSERT OR REPLACE INTO minute_sample (taken, counts) VALUES (?, ?)",
                 {db::Value(minute), db::Value(FromUtf8(CountsText(stamped)))});
  Fold(now);
}

void HistoryStore::Fold(int64_t now) {
  const int64_t cutoff = (now - kMinuteSamplesKeptSeconds) / kHour * kHour;
  std::map<int64_t, std::map<Text, ModuleOnline>> hours;
  {
    auto rs = conn_->Execute(u"SELECT taken, counts FROM minute_sample WHERE taken < ?",
                             {db::Value(cutoff)});
    for (; rs != nullptr && !rs->Eof(); rs->MoveNext()) {
      const int64_t taken = Integer(rs->Field(u"taken"), "sample time");
      MergePeaks(hours[taken - taken % kHour], ParseCounts(rs->Field(u"counts")));
    }
    if (rs != nullptr) rs->Close();
  }
  for (auto& [hour, peaks] : hours) {
    {
      auto rs = conn_->Execute(u"SELECT counts FROM hour_peak WHERE taken = ?", {db::Value(hour)});
      if (rs != nullptr && !rs->Eof()) MergePeaks(peaks, ParseCounts(rs->Field(u"counts")));
      if (rs != nullptr) rs->Close();
    }
    std::vector<ModuleOnline> merged;
    for (auto& [module, m] : peaks) merged.push_back(m);
    conn_->Execute(u"INSERT OR REPLACE INTO hour_peak (taken, counts) VALUES (?, ?)",
                   {db::Value(hour), db::Value(FromUtf8(CountsText(merged)))});
    conn_->Execute(u"DELETE FROM minute_sample WHERE taken >= ? AND taken < ?",
                   {db::Value(hour), db::Value(hour + kHour)});
  }
  conn_->Execute(u"DELETE FROM hour_peak WHERE taken < ?",
                 {db::Value(now - kHourPeaksKeptSeconds)});
}

std::vector<HistorySample> HistoryStore::Read(int64_t since) {
  std::vector<HistorySample> out;
  for (const bool hour : {true, false}) {
    auto rs =
        conn_->Execute(hour ? Text(u"SELECT taken, counts FROM hour_peak WHERE taken >= ?")
                            : Text(u"SELECT taken, counts FROM minute_sample WHERE taken >= ?"),
                       {db::Value(hour ? since - since % kHour : since)});
    for (; rs != nullptr && !rs->Eof(); rs->MoveNext()) {
      out.push_back(
          {Integer(rs->Field(u"taken"), "sample time"), hour, ParseCounts(rs->Field(u"counts"))});
    }
    if (rs != nullptr) rs->Close();
  }
  std::stable_sort(out.begin(), out.end(),
                   [](const auto& a, const auto& b) { return a.taken < b.taken; });
  return out;
}

}  // namespace wq::cli
