#include "cli/list_output.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdio>

#include "cli/json.h"
#include "platform/db/date_time.h"

namespace wq::cli {
namespace {

using presence::PresenceRow;
using presence::RecordKind;

// ssID as the update would write it when it is a whole number, else as stored.
Text IdText(const PresenceRow& r) {
  std::string s;
  if (r.number) {
    s = std::to_string(*r.number);
  } else if (r.id.IsText()) {
    return r.id.text();
  } else if (r.id.IsReal() && std::isfinite(r.id.real())) {
    char buf[64];
    s.assign(buf, std::to_chars(buf, buf + sizeof buf, r.id.real()).ptr);
  }
  return Text(s.begin(), s.end());
}

Json IdJson(const PresenceRow& r) {
  if (r.number) return *r.number;
  return r.id.IsNull() ? Json() : JsonText(IdText(r));
}

std::optional<Text> Payload(const PresenceRow& r, const Text& element) {
  if (r.kind == RecordKind::kUnreadable) return std::nullopt;
  return element;
}

std::optional<Text> Module(const PresenceRow& r) {
  if (r.nullModule) return std::nullopt;
  return r.module;
}

Json OptionalJson(const std::optional<Text>& text) { return text ? JsonText(*text) : Json(); }

// Columns a character takes in a terminal: 2 for East Asian wide and full-width forms, 0 for
// combining marks, 1 otherwise.
int CharWidth(char32_t c) {
  if ((c >= 0x300 && c <= 0x36F) || (c >= 0x200B && c <= 0x200F)) return 0;
  if ((c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF && c != 0x303F) ||
      (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
      (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
      (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x1F300 && c <= 0x1F64F) ||
      (c >= 0x20000 && c <= 0x3FFFD)) {
    return 2;
  }
  return 1;
}

// A cell: the text with control characters replaced, and its display width.
struct Cell {
  std::string utf8;
  size_t width = 0;
};

Cell MakeCell(TextView text) {
  Text shown;
  size_t width = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      shown.push_back(text[i]);
      shown.push_back(text[++i]);
    } else if (c < 0x20 || c == 0x7F || (c >= 0x80 && c <= 0x9F) || c == 0x2028 || c == 0x2029 ||
               (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069)) {
      c = u'?';  // control, line break or bidirectional override
      shown.push_back(u'?');
    } else {
      shown.push_back(text[i]);
    }
    width += CharWidth(c);
  }
  return {ToUtf8(shown), width};
}

Cell MakeCell(const char* ascii) { return MakeCell(FromUtf8(ascii)); }

}  // namespace

std::optional<int64_t> AgeSeconds(const PresenceRow& record,
                                  const std::optional<db::DateTime>& now) {
  if (!now || !record.when) return std::nullopt;
  return db::SecondsBetween(*record.when, *now);
}

Json RecordJson(const PresenceRow& r, std::optional<int64_t> ageSeconds) {
  Json iso;
  if (r.when) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d", r.when->year, r.when->month,
                  r.when->day, r.when->hour, r.when->minute, r.when->second);
    iso = buf;
  }
  return Json{{"id", IdJson(r)},
              {"workstation", OptionalJson(Payload(r, r.workstation))},
              {"time", OptionalJson(Payload(r, r.time))},
              {"timeIso", iso},
              {"ageSeconds", ageSeconds ? Json(*ageSeconds) : Json()},
              {"module", OptionalJson(Module(r))},
              {"login", r.kind == RecordKind::kUnreadable ? Json() : Json(r.login)},
              {"kind", presence::KindName(r.kind)}};
}

std::string AgeText(int64_t seconds) {
  std::string sign;
  if (seconds < 0) {
    sign = "-";
    seconds = seconds == INT64_MIN ? INT64_MAX : -seconds;
  }
  char buf[48];
  if (seconds < 60) {
    std::snprintf(buf, sizeof buf, "%llds", static_cast<long long>(seconds));
  } else if (seconds < 3600) {
    std::snprintf(buf, sizeof buf, "%lldm %02llds", static_cast<long long>(seconds / 60),
                  static_cast<long long>(seconds % 60));
  } else if (seconds < 86400) {
    std::snprintf(buf, sizeof buf, "%lldh %02lldm", static_cast<long long>(seconds / 3600),
                  static_cast<long long>(seconds % 3600 / 60));
  } else {
    std::snprintf(buf, sizeof buf, "%lldd %02lldh", static_cast<long long>(seconds / 86400),
                  static_cast<long long>(seconds % 86400 / 3600));
  }
  return sign + buf;
}

std::string RecordsAsJson(const std::vector<PresenceRow>& records,
                          const std::optional<db::DateTime>& now) {
  std::string out = "[";
  for (size_t i = 0; i < records.size(); ++i) {
    const PresenceRow& r = records[i];
    out += i == 0 ? "\n  " : ",\n  ";
    out += Dump(RecordJson(r, AgeSeconds(r, now)));
  }
  out += records.empty() ? "]\n" : "\n]\n";
  return out;
}

std::string RecordsAsTable(const std::vector<PresenceRow>& records,
                           const std::optional<db::DateTime>& now) {
  constexpr size_t kColumns = 7;
  std::vector<std::array<Cell, kColumns>> rows;
  rows.push_back({MakeCell("ID"), MakeCell("WORKSTATION"), MakeCell("TIME"), MakeCell("AGE"),
                  MakeCell("MODULE"), MakeCell("LOGIN"), MakeCell("KIND")});
  for (const PresenceRow& r : records) {
    const std::optional<int64_t> age = AgeSeconds(r, now);
    const std::optional<Text> module = Module(r);
    rows.push_back({MakeCell(IdText(r)), MakeCell(Payload(r, r.workstation).value_or(u"-")),
                    MakeCell(Payload(r, r.time).value_or(u"-")),
                    MakeCell(age ? AgeText(*age).c_str() : "-"),
                    MakeCell(module && !module->empty() ? *module : Text(u"(none)")),
                    MakeCell(r.kind == RecordKind::kUnreadable ? "unknown"
                             : r.login                         ? "yes"
                                                               : "no"),
                    MakeCell(presence::KindName(r.kind))});
  }
  std::array<size_t, kColumns> widths{};
  for (const auto& row : rows) {
    for (size_t c = 0; c < kColumns; ++c) widths[c] = std::max(widths[c], row[c].width);
  }
  std::string out;
  for (const auto& row : rows) {
    std::string line;
    for (size_t c = 0; c < kColumns; ++c) {
      line += row[c].utf8;
      if (c + 1 < kColumns) line.append(widths[c] - row[c].width + 2, ' ');
    }
    out += line + "\n";
  }
  return out;
}

}  // namespace wq::cli
