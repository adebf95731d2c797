#include "frame/registry_file.h"

namespace wq::frame {
namespace {

constexpr std::string_view kRoot = "HKCR\\";
constexpr std::string_view kHeader =
    "# webQuorrel registry: one value a line, \"HKCR\\<key> = <data>\" for a key's default "
    "value,\n# \"HKCR\\<key> @<name> = <data>\" for a named value.\n";

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

bool HasLineBreakOrNul(std::string_view s) {
  return s.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

}  // namespace

std::optional<RegistryLine> ParseRegistryLine(std::string_view line) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  if (line.size() < kRoot.size() || !SameIgnoringCase(line.substr(0, kRoot.size()), kRoot)) {
    return std::nullopt;
  }
  line.remove_prefix(kRoot.size());
  std::string_view left;
  std::string_view data;
  if (const size_t eq = line.find(" = "); eq != std::string_view::npos) {
    left = line.substr(0, eq);
    data = line.substr(eq + 3);
  } else if (line.size() >= 2 && line.substr(line.size() - 2) == " =") {
    left = line.substr(0, line.size() - 2);  // an empty value whose trailing blank was lost
  } else {
    return std::nullopt;
  }
  RegistryLine out;
  if (const size_t at = left.find(" @"); at != std::string_view::npos) {
    out.key = std::string(left.substr(0, at));
    out.name = std::string(left.substr(at + 2));
  } else {
    out.key = std::string(left);
  }
  if (out.key.empty()) return std::nullopt;
  out.data = std::string(data);
  return out;
}

bool IsStorable(const RegistryValue& value) {
  const std::string key = ToUtf8(value.key);
  const std::string name = ToUtf8(value.name);
  const std::string data = ToUtf8(value.data);
  return !key.empty() && !HasLineBreakOrNul(key) && !HasLineBreakOrNul(name) &&
         !HasLineBreakOrNul(data) && key.find(" = ") == std::string::npos &&
         key.find(" @") == std::string::npos && name.find(" = ") == std::string::npos &&
         // A trailing " =" would run into the separator and read back as " = " too early.
         !key.ends_with(" =") && !name.ends_with(" =");
}

std::string UpdateRegistryText(std::string_view text, const std::vector<RegistryValue>& values,
                               bool add) {
  std::vector<std::pair<std::string, std::string>> ours;
  ours.reserve(values.size());
  for (const auto& v : values) ours.emplace_back(ToUtf8(v.key), ToUtf8(v.name));

  std::string out;
  out.reserve(text.size() + (add ? 128 * values.size() : 0));
  if (text.empty() && add) out = kHeader;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    const bool last = end == std::string_view::npos;
    if (last) end = text.size();
    const std::string_view line = text.substr(start, end - start);
    bool drop = false;
    if (const auto parsed = ParseRegistryLine(line)) {
      for (const auto& [key, name] : ours) {
        if (SameIgnoringCase(parsed->key, key) && SameIgnoringCase(parsed->name, name)) {
          drop = true;
          break;
        }
      }
    }
    if (!drop) {
      out.append(line);
      // The last line keeps a missing line break missing, unless more lines follow.
      if (!last || add) out.push_back('\n');
    }
    start = end + 1;
  }
  if (add) {
    for (const auto& v : values) {
      out.append(kRoot);
      out.append(ToUtf8(v.key));
      if (!v.name.empty()) out.append(" @").append(ToUtf8(v.name));
      out.append(" = ").append(ToUtf8(v.data)).push_back('\n');
    }
  }
  return out;
}

}  // namespace wq::frame
