#include "cli/online_json.h"

#include "cli/json.h"

namespace wq::cli {
namespace {

// JsonString output escaped for HTML's special characters. They only ever stand inside strings,
// where \u escapes mean the same.
std::string Str(TextView text) {
  const std::string json = JsonString(text);
  std::string out;
  out.reserve(json.size());
  for (char c : json) {
    switch (c) {
      case '<':
        out += "\\u003c";
        break;
      case '>':
        out += "\\u003e";
        break;
      case '&':
        out += "\\u0026";
        break;
      default:
        out.push_back(c);
    }
  }
  return out;
}

}  // namespace

std::string OnlineJson(const presence::OnlineSnapshot& snapshot) {
  std::string out = "{\"serverTime\": " + Str(snapshot.serverTime) + ", \"modules\": [";
  for (size_t m = 0; m < snapshot.modules.size(); ++m) {
    const presence::OnlineModule& module = snapshot.modules[m];
    out += m == 0 ? "" : ", ";
    out += "{\"module\": " + Str(module.module) + ", \"records\": [";
    for (size_t i = 0; i < module.entries.size(); ++i) {
      const presence::OnlineEntry& e = module.entries[i];
      out += i == 0 ? "" : ", ";
      out += "{\"id\": " + (e.row.number ? std::to_string(*e.row.number) : std::string("null"));
      out += ", \"workstation\": " + Str(e.row.workstation);
      out += ", \"time\": " + Str(e.row.time);
      out += ", \"ageSeconds\": " +
             (e.ageSeconds ? std::to_string(*e.ageSeconds) : std::string("null"));
      out += ", \"login\": ";
      out += e.row.login ? "true}" : "false}";
    }
    out += "]}";
  }
  out += "], \"damaged\": " + std::to_string(snapshot.damaged) +
         ", \"unreadable\": " + std::to_string(snapshot.unreadable) + "}\n";
  return out;
}

std::string ErrorJson(const std::string& utf8Message) {
  return "{\"error\": " + Str(FromUtf8(utf8Message)) + "}\n";
}

}  // namespace wq::cli
