#include "cli/settings_file.h"

#include "platform/error.h"

namespace wq::cli {
namespace {

bool IsNameStart(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
bool IsNameChar(char c) { return IsNameStart(c) || (c >= '0' && c <= '9'); }
bool IsBareChar(char c) {
  return IsNameChar(c) || std::string_view("./:,@%+=-").find(c) != std::string_view::npos;
}
bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Length of the UTF-8 sequence at s (0 when it is not well formed: overlong, surrogate, >
// U+10FFFF).
size_t Utf8Length(std::string_view s) {
  const auto b = [&](size_t i) { return static_cast<unsigned char>(s[i]); };
  const auto cont = [&](size_t i) { return i < s.size() && (b(i) & 0xC0) == 0x80; };
  const unsigned char c = b(0);
  if (c < 0x80) return 1;
  if (c >= 0xC2 && c <= 0xDF) return cont(1) ? 2 : 0;
  if (c >= 0xE0 && c <= 0xEF) {
    if (!cont(1) || !cont(2)) return 0;
    if ((c == 0xE0 && b(1) < 0xA0) || (c == 0xED && b(1) >= 0xA0)) return 0;
    return 3;
  }
  if (c >= 0xF0 && c <= 0xF4) {
    if (!cont(1) || !cont(2) || !cont(3)) return 0;
    if ((c == 0xF0 && b(1) < 0x90) || (c == 0xF4 && b(1) >= 0x90)) return 0;
    return 4;
  }
  return 0;
}

[[noreturn]] void Refuse(const std::string& where, int line, const std::string& why) {
  throw Error::InvalidProcedureCall(where + ", line " + std::to_string(line) + ": " + why);
}

Setting ParseLine(std::string_view text, const std::string& where, int line) {
  size_t i = 0;
  while (i < text.size() && IsNameChar(text[i])) ++i;
  if (i == 0 || !IsNameStart(text[0])) {
    Refuse(where, line, "expected NAME='value' (a name of letters, digits and _)");
  }
  Setting s{std::string(text.substr(0, i)), {}, line};
  if (i == text.size() || text[i] != '=') {
    Refuse(where, line, "expected '=' right after the name " + s.name);
  }
  std::string_view rest = text.substr(i + 1);
  if (!rest.empty() && rest.front() == '\'') {
    const size_t close = rest.find('\'', 1);
    if (close == std::string_view::npos) Refuse(where, line, "the single quote is not closed");
    s.value = std::string(rest.substr(1, close - 1));
    for (char c : s.value) {
      if (c == '$' || c == '\\') {
        Refuse(where, line,
               std::string("the value of ") + s.name + " holds '" + c +
                   "', which the units and a shell would read differently");
      }
    }
    for (char c : rest.substr(close + 1)) {
      if (!IsBlank(c)) Refuse(where, line, "only blanks may follow the closing quote");
    }
    return s;
  }
  size_t end = rest.size();
  while (end > 0 && IsBlank(rest[end - 1])) --end;
  for (char c : rest.substr(0, end)) {
    if (!IsBareChar(c)) {
      Refuse(where, line,
             "the value of " + s.name +
                 " needs single quotes: NAME='value' (it holds characters other "
                 "than letters, digits and _ . / : , @ % + = -)");
    }
  }
  s.value = std::string(rest.substr(0, end));
  return s;
}

}  // namespace

std::vector<Setting> ParseSettings(std::string_view text, const std::string& where) {
  std::vector<Setting> out;
  int line = 0;
  size_t pos = 0;
  while (pos < text.size()) {
    ++line;
    size_t eol = text.find('\n', pos);
    if (eol == std::string_view::npos) eol = text.size();
    const std::string_view raw = text.substr(pos, eol - pos);
    pos = eol + 1;
    for (size_t k = 0; k < raw.size();) {
      const unsigned char c = static_cast<unsigned char>(raw[k]);
      if (c == '\r') {
        Refuse(where, line, "carriage return (save the file with Unix line ends)");
      }
      if ((c < 0x20 && c != '\t') || c == 0x7F) Refuse(where, line, "control character");
      const size_t n = Utf8Length(raw.substr(k));
      if (n == 0) Refuse(where, line, "not UTF-8 text");
      k += n;
    }
    std::string_view body = raw;
    while (!body.empty() && IsBlank(body.front())) body.remove_prefix(1);
    if (body.empty() || body.front() == '#') continue;
    out.push_back(ParseLine(body, where, line));
  }
  return out;
}

}  // namespace wq::cli
