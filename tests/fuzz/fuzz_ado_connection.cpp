// ADO connection strings through the translation to ODBC. Properties: each translated string
// reads back as the same pairs in a model of the driver manager's reader and of the driver's own
// ({...} with "}}"; FreeTDS 1.3.17's {...} up to "};"; the SQLite ODBC driver's no braces and
// first pair wins; all three for a driver not known), each key once; an ODBC string's pairs
// arrive as ADO read them; a Password/PWD value arrives whole and never appears in an error
// text. The input is "<connection string>\x01<password>"; the password is appended as ";PWD=..."
// or ";Password=..." (bit 0 of the password's first byte), quoted as ADO quotes it.
#include <algorithm>
#include <string>

#include "platform/db/connection_string.h"
#include "platform/db/odbc/ado_translate.h"
#include "platform/db/odbc/ado_pairs.h"
#include "platform/error.h"
#include "tests/fuzz/fuzz_input.h"

namespace {

using wq::Text;
using wq::TextView;
using Pairs = std::vector<std::pair<Text, Text>>;

enum class Reader { kBracesDoubled, kBracesToSemicolon, kNoBraces };

// How the readers modelled here split a string into pairs. A driver manager that finds text
// after a closing brace skips it to the next ';'.
Pairs Read(TextView s, Reader reader) {
  Pairs pairs;
  size_t i = 0;
  while (i < s.size()) {
    if (s[i] == u';') {
      ++i;
      continue;
    }
    const size_t eq = s.find(u'=', i);
    if (eq == TextView::npos) break;
    Text key(s.substr(i, eq - i));
    Text value;
    size_t j = eq + 1;
    if (reader != Reader::kNoBraces && j < s.size() && s[j] == u'{') {
      ++j;
      if (reader == Reader::kBracesToSemicolon) {
        size_t end = s.find(u"};", j);
        if (end == TextView::npos) end = s.size() - (s.back() == u'}' ? 1 : 0);
        value = Text(s.substr(j, end - j));
        j = end + 1;
      } else {
        for (; j < s.size(); ++j) {
          if (s[j] != u'}') {
            value += s[j];
          } else if (j + 1 < s.size() && s[j + 1] == u'}') {
            value += u'}';
            ++j;
          } else {
            break;
          }
        }
      }
      j = std::min(s.find(u';', j), s.size());
    } else {
      j = std::min(s.find(u';', j), s.size());
      value = Text(s.substr(eq + 1, j - eq - 1));
    }
    pairs.emplace_back(std::move(key), std::move(value));
    i = j;
  }
  return pairs;
}

std::vector<Text> Keys(const Pairs& pairs) {
  std::vector<Text> keys;
  for (const auto& pair : pairs) keys.push_back(wq::ToUpper(pair.first));
  return keys;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace wq;
  const uint8_t* split = std::find(data, data + size, uint8_t{1});
  Text text = fuzz::Bytes(data, split - data);
  const Text prefix = text;
  Text password;
  if (split != data + size) {
    password = u"\u00a7" + fuzz::Bytes(split + 1, data + size - split - 1);  // never in a message
    Text quoted;
    for (char16_t c : password) quoted += c == u'"' ? Text(u"\"\"") : Text(1, c);
    text += ((split + 1 < data + size && (split[1] & 1)) ? u";Password=\"" : u";PWD=\"") + quoted +
            u"\"";
  }
  // Keys may be named in messages; a password that the text before it holds already is not
  // looked for.
  const bool distinct = password.size() > 1 && prefix.find(password) == Text::npos;
  auto secret_shown = [&](const std::string& message) {
    return distinct && message.find(ToUtf8(password)) != std::string::npos;
  };
  Pairs ado;
  try {
    ado = db::ConnectionString::Parse(text).pairs();
  } catch (const Error& e) {
    if (secret_shown(e.description())) fuzz::Violated("an error text shows the password");
    return 0;
  }
  // The password must arrive when ADO reads it as the login's: a '{' left open before it makes
  // it part of another value; an ADO Password pair beats PWD; integrated security sends none.
  bool read_as_password = false;
  for (const auto& [key, value] : ado) {
    if (db::IsSecretKey(key) && value == password) read_as_password = true;
  }
  if ((db::odbc::LastOf(ado, {u"PWD"}) && db::odbc::LastOf(ado, {u"Password"})) ||
      db::odbc::LastOf(ado, {u"Integrated Security", u"Trusted_Connection"})) {
    read_as_password = false;
  }
  static const std::vector<Text> kWithMicrosoft{u"FreeTDS", u"ODBC Driver 18 for SQL Server",
                                                u"PostgreSQL Unicode", u"SQLite3"};
  static const std::vector<Text> kWithFreeTds{u"FreeTDS", u"SQLite3"};
  for (const std::vector<Text>* drivers : {&kWithMicrosoft, &kWithFreeTds}) {
    std::optional<db::odbc::OdbcTarget> target;
    try {
      target = db::odbc::TranslateAdoToOdbc(ado, *drivers);
    } catch (const Error& e) {
      if (secret_shown(e.description())) fuzz::Violated("an error text shows the password");
      continue;
    }
    if (!target) return 0;
    const Text& odbc = target->connection_string;
    const Pairs manager = Read(odbc, Reader::kBracesDoubled);
    const Text* driver = nullptr;
    for (const auto& [key, value] : manager) {
      if (EqualsIgnoreCase(key, u"Driver")) driver = &value;
    }
    std::vector<Reader> readers;  // the driver's; every one when it is not known
    if (driver && *driver == u"FreeTDS") {
      readers = {Reader::kBracesToSemicolon};
    } else if (driver && (db::odbc::StartsWithIgnoreCase(*driver, u"ODBC Driver") ||
                          db::odbc::StartsWithIgnoreCase(*driver, u"SQL Server") ||
                          db::odbc::StartsWithIgnoreCase(*driver, u"PostgreSQL"))) {
      readers = {Reader::kBracesDoubled};
    } else {
      readers = {Reader::kNoBraces, Reader::kBracesToSemicolon, Reader::kBracesDoubled};
    }
    // Driver={...} is the driver manager's alone: the driver does not read its own name.
    auto read = [&](Reader reader) {
      Pairs pairs = Read(odbc, reader);
      for (auto& [key, value] : pairs) {
        if (EqualsIgnoreCase(key, u"Driver")) value.clear();
      }
      return pairs;
    };
    const Pairs first = read(readers[0]);
    for (Reader reader : readers) {
      const Pairs pairs = read(reader);
      if (Keys(pairs) != Keys(manager)) {
        fuzz::Violated("the driver manager and the driver read different keys");
      }
      if (pairs != first) fuzz::Violated("drivers of unknown kind read different values");
    }
    std::vector<Text> keys = Keys(first);
    std::sort(keys.begin(), keys.end());
    if (std::adjacent_find(keys.begin(), keys.end()) != keys.end()) {
      fuzz::Violated("a key is written twice");
    }
    if (read_as_password && std::none_of(first.begin(), first.end(), [&](const auto& pair) {
          return db::IsSecretKey(pair.first) && pair.second == password;
        })) {
      fuzz::Violated("the password did not survive the translation");
    }
    // An ODBC string (no provider): every pair the driver reads is one that ADO read, with the
    // value of its last pair.
    if (!wq::db::odbc::LastOf(ado, {u"Provider"})) {
      for (const auto& [key, value] : first) {
        const Text* meant = db::odbc::LastOf(ado, {key});
        if (!meant || (!EqualsIgnoreCase(key, u"Driver") && *meant != value)) {
          fuzz::Violated("the driver reads a pair that the ADO string did not hold");
        }
      }
    }
  }
  return 0;
}
