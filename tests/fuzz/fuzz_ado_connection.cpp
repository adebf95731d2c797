// ADO connection strings through the translation to ODBC. Properties: what is translated parses
// back to the same key/value pairs when written again; a Password/PWD value never appears in an
// error text. The input is "<connection string>\x01<password>"; the password is appended as
// ";PWD=..." or ";Password=..." (bit 0 of the password's first byte), quoted as ADO quotes it.
#include <algorithm>
#include <string>

#include "platform/db/connection_string.h"
#include "platform/db/odbc/ado_translate.h"
#include "platform/error.h"
#include "tests/fuzz/fuzz_input.h"

namespace {

const std::vector<wq::Text>& Drivers() {
  static const std::vector<wq::Text> drivers{u"FreeTDS", u"ODBC Driver 18 for SQL Server",
                                             u"PostgreSQL Unicode", u"SQLite3"};
  return drivers;
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
  std::optional<db::odbc::OdbcTarget> target;
  bool read_as_password = false;  // a '{' left open before it makes it part of another value
  try {
    db::ConnectionString cs = db::ConnectionString::Parse(text);
    for (const auto& [key, value] : cs.pairs()) {
      if (db::IsSecretKey(key) && value == password) read_as_password = true;
    }
    target = db::odbc::TranslateAdoToOdbc(cs.pairs(), Drivers());
  } catch (const Error& e) {
    if (secret_shown(e.description())) fuzz::Violated("an error text shows the password");
    return 0;
  }
  if (!target) return 0;
  std::vector<std::pair<Text, Text>> pairs;
  try {
    pairs = db::ConnectionString::Parse(target->connection_string).pairs();
  } catch (const Error&) {
    fuzz::Violated("the translated string does not parse");
  }
  // The password arrives whole, whatever it holds.
  if (read_as_password && std::none_of(pairs.begin(), pairs.end(), [&](const auto& pair) {
        return db::IsSecretKey(pair.first) && pair.second == password;
      })) {
    fuzz::Violated("the password did not survive the translation");
  }
  Text again;
  for (const auto& [key, value] : pairs) db::AppendPair(again, key, value);
  if (db::ConnectionString::Parse(again).pairs() != pairs) {
    fuzz::Violated("the translated pairs do not survive being written again");
  }
  return 0;
}
