#include "cli/command_errors.h"

#include <algorithm>
#include <cctype>

#include "cli/settings.h"

namespace wq::cli {
namespace {

// The names the component's error kinds carry at the front of their descriptions.
constexpr const char* kKindNames[] = {
    "Invalid procedure call or argument: ",
    "Type mismatch: ",
    "Overflow: ",
    "Subscript out of range: ",
    "Invalid use of Null: ",
    "Division by zero: ",
};

bool Contains(const std::string& text, const char* part) {
  std::string lower = text;
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return lower.find(part) != std::string::npos;
}

const std::string* SqlState(const Error& e) {
  return e.fromDatabase() && !e.sqlstate().empty() ? &e.sqlstate() : nullptr;
}

bool MissingTable(const Error& e) {
  const std::string* state = SqlState(e);
  if (state != nullptr && (*state == "42S02" || *state == "42P01")) return true;
  return Contains(e.what(), "no such table") || Contains(e.what(), "invalid object name") ||
         (Contains(e.what(), "relation") && Contains(e.what(), "does not exist"));
}

bool Refused(const Error& e) {
  if (dynamic_cast<const FileAccessError*>(&e) != nullptr) return true;
  const std::string* state = SqlState(e);
  if (state != nullptr && (*state == "42501" || *state == "28000" || *state == "28P01")) {
    return true;
  }
  return Contains(e.what(), "permission denied") || Contains(e.what(), "readonly database") ||
         Contains(e.what(), "read-only database");
}

}  // namespace

std::string Explain(const Error& e) {
  std::string text = e.what();
  if (!Verbose()) {
    for (const char* name : kKindNames) {
      for (size_t at; (at = text.find(name)) != text.npos;) {
        text.erase(at, std::char_traits<char>::length(name));
      }
    }
  }
  if (const std::string* state = SqlState(e); state != nullptr && text.find(*state) == text.npos) {
    text += " (SQLSTATE " + *state + ")";
  }
  if (Verbose()) text += " [error " + std::to_string(e.number()) + "]";
  if (MissingTable(e)) {
    text +=
        "\nThe register has no table SystemSetting yet: run `webquorrel init` (with the same "
        "--conn or settings) to create it.";
  } else if (Refused(e)) {
    text +=
        "\nThis user may not do that: run the command as a user with access (see the "
        "register with --verbose).";
  }
  // Line breaks stay real ones, each following line indented; other controls cannot reach the
  // terminal.
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r') continue;
    if (c == '\n') {
      out += "\n  ";
      while (i + 1 < text.size() && (text[i + 1] == ' ' || text[i + 1] == '\t')) ++i;
    } else if ((static_cast<unsigned char>(c) < 0x20 && c != '\t') || c == 0x7F) {
      out += '?';
    } else {
      out += c;
    }
  }
  return out;
}

int ExitStatusFor(const Error& e) {
  if (Refused(e)) return kNoPermission;
  if (e.fromDatabase()) return kDatabaseFailure;
  return kBadInput;
}

bool Unrecoverable(const Error& e) {
  if (e.fromDatabase()) return false;
  const std::string text = e.what();
  return text.rfind("Cannot open the database", 0) == 0 &&
         (e.number() == kInvalidProcedureCall || Contains(text, "is not supported") ||
          Contains(text, "names no provider") || Contains(text, "not available"));
}

}  // namespace wq::cli
