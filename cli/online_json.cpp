#include "cli/online_json.h"

#include <cstdio>

#include "cli/json.h"
#include "cli/list_output.h"
#include "presence/server_time.h"

namespace wq::cli {
namespace {

// The document with HTML's special characters and JavaScript's line ends written as \u escapes.
// They only ever stand inside strings, where the escapes mean the same.
std::string ForHtml(const Json& document) {
  const std::string json = Dump(document);
  std::string out;
  out.reserve(json.size());
  for (size_t i = 0; i < json.size(); ++i) {
    const char c = json[i];
    if (c == '<') {
      out += "\\u003c";
    } else if (c == '>') {
      out += "\\u003e";
    } else if (c == '&') {
      out += "\\u0026";
    } else if (json.compare(i, 3, "\xE2\x80\xA8") == 0 || json.compare(i, 3, "\xE2\x80\xA9") == 0) {
      out += json[i + 2] == '\xA8' ? "\\u2028" : "\\u2029";  // U+2028, U+2029
      i += 2;
    } else {
      out.push_back(c);
    }
  }
  return out + "\n";
}

}  // namespace

std::string OnlineJson(const presence::OnlineSnapshot& snapshot,
                       std::optional<int64_t> staleAfter) {
  Json modules = Json::array();
  for (const presence::OnlineModule& module : snapshot.modules) {
    Json records = Json::array();
    for (const presence::OnlineEntry& e : module.entries) {
      records.push_back(RecordJson(e.row, e.ageSeconds));
    }
    modules.push_back({{"module", JsonText(module.module)}, {"records", std::move(records)}});
  }
  const std::optional<db::DateTime> now = presence::ParseDate(snapshot.serverTime);
  char iso[32] = "";
  if (now) {
    std::snprintf(iso, sizeof iso, "%04d-%02d-%02dT%02d:%02d:%02d", now->year, now->month, now->day,
                  now->hour, now->minute, now->second);
  }
  Json out = {{"serverTime", JsonText(snapshot.serverTime)},
              {"serverTimeIso", now ? Json(iso) : Json()},
              {"modules", std::move(modules)},
              {"damaged", snapshot.damaged},
              {"unreadable", snapshot.unreadable}};
  if (staleAfter) out["staleAfterSeconds"] = *staleAfter;
  return ForHtml(out);
}

std::string ErrorJson(const std::string& utf8Message) {
  return ForHtml({{"error", JsonText(FromUtf8(utf8Message))}});
}

}  // namespace wq::cli
