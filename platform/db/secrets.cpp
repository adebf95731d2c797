#include "platform/db/secrets.h"

#include <algorithm>

#include "platform/db/connection_string.h"
#include "platform/error.h"

namespace wq::db {
namespace {

bool EndsWith(TextView upper, TextView suffix) {
  return upper.size() >= suffix.size() && upper.substr(upper.size() - suffix.size()) == suffix;
}

bool IsLetter(char16_t c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c >= 0x80; }

bool IsWordChar(char16_t c) { return IsLetter(c) || (c >= u'0' && c <= u'9') || c == u'_'; }

// The secret pairs of text read the FreeTDS way: a braced value runs to the first "};".
void AddFreeTdsReading(TextView text, Secrets& secrets) {
  size_t i = 0;
  while (i < text.size()) {
    const size_t eq = text.find(u'=', i);
    if (eq == TextView::npos) return;
    const TextView key = text.substr(i, eq - i);
    size_t end;
    TextView value;
    if (eq + 1 < text.size() && text[eq + 1] == u'{') {
      end = text.find(u"};", eq + 2);
      if (end == TextView::npos) {
        end = text.back() == u'}' ? text.size() - 1 : text.size();
        value = text.substr(eq + 2, std::max(end, eq + 2) - eq - 2);
        end = text.size();
      } else {
        value = text.substr(eq + 2, end - eq - 2);
        end += 1;
      }
    } else {
      end = std::min(text.find(u';', eq), text.size());
      value = text.substr(eq + 1, end - eq - 1);
    }
    if (key.find(u';') == TextView::npos && IsSecretKey(key)) secrets.Add(value);
    i = end + 1;
  }
}

// True when the occurrence at [at, at + n) of text stands as a value: '=' before it, with
// blanks and one opening quote or brace between.
bool StandsAsValue(TextView text, size_t at) {
  while (at > 0 && IsBlank(text[at - 1])) --at;
  if (at > 0 && (text[at - 1] == u'"' || text[at - 1] == u'\'' || text[at - 1] == u'{')) --at;
  while (at > 0 && IsBlank(text[at - 1])) --at;
  return at > 0 && text[at - 1] == u'=';
}

bool CannotBeAWord(TextView secret) {
  return secret.size() >= 4 && !std::all_of(secret.begin(), secret.end(), IsLetter);
}

bool WholeWord(TextView text, size_t at, size_t n) {
  const bool before = at > 0 && IsWordChar(text[at - 1]) && IsWordChar(text[at]);
  const bool after = at + n < text.size() && IsWordChar(text[at + n]) && IsWordChar(text[at + n - 1]);
  return !before && !after;
}

}  // namespace

bool IsSecretKey(TextView key) {
  const Text upper = ToUpper(TrimBlanks(key));
  return upper == u"PWD" || upper == u"PASSWD" || upper == u"TOKEN" || upper == u"ACCESSTOKEN" ||
         EndsWith(upper, u"PASSWORD") || EndsWith(upper, u"SECRET");
}

bool IsNameableKey(TextView key) {
  key = TrimBlanks(key);
  return !key.empty() && key.size() <= 40 && std::all_of(key.begin(), key.end(), [](char16_t c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
           c == u' ' || c == u'_' || c == u'-' || c == u'.' || c == u':';
  });
}

Secrets Secrets::Of(TextView connectionString) {
  Secrets secrets;
  try {
    const ConnectionString parsed = ConnectionString::Parse(connectionString);
    for (const auto& [key, value] : parsed.pairs()) {
      if (IsSecretKey(key)) secrets.Add(value);
    }
  } catch (const Error&) {
    // Not in ODBC's grammar: the FreeTDS reading below still finds its secrets.
  }
  AddFreeTdsReading(connectionString, secrets);
  return secrets;
}

void Secrets::Add(TextView secret) {
  if (secret.empty()) return;
  if (std::find(secrets_.begin(), secrets_.end(), secret) != secrets_.end()) return;
  secrets_.emplace_back(secret);
  // Longest first, so that a secret inside another is not masked first and the rest shown.
  std::stable_sort(secrets_.begin(), secrets_.end(),
                   [](const Text& a, const Text& b) { return a.size() > b.size(); });
}

Text Secrets::Mask(TextView text) const {
  Text out(text);
  for (const Text& secret : secrets_) {
    const bool anywhere = CannotBeAWord(secret);
    for (size_t at = out.find(secret); at != Text::npos; at = out.find(secret, at)) {
      if (StandsAsValue(out, at) || (anywhere && WholeWord(out, at, secret.size()))) {
        out.replace(at, secret.size(), u"***");
        at += 3;
      } else {
        at += 1;
      }
    }
  }
  return out;
}

std::string Secrets::Mask(std::string_view utf8) const {
  if (secrets_.empty()) return std::string(utf8);
  return ToUtf8(Mask(TextView(FromUtf8(utf8))));
}

}  // namespace wq::db
