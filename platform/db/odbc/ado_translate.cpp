#include "platform/db/odbc/ado_translate.h"

#include <algorithm>

#include "platform/db/connection_string.h"
#include "platform/db/odbc/ado_pairs.h"
#include "platform/db/odbc/sqlserver_translate.h"
#include "platform/error.h"

namespace wq::db::odbc {
namespace {

constexpr int kDefaultLoginTimeout = 15;  // ADO's default Connect Timeout
constexpr int kMaxLoginTimeout = 3600;

int LoginTimeout(const Text& value) {
  Text v(TrimBlanks(value));
  if (v.empty() || v.size() > 6 ||
      !std::all_of(v.begin(), v.end(), [](char16_t c) { return c >= u'0' && c <= u'9'; })) {
    throw Error::InvalidProcedureCall("Connect Timeout must be a whole number of seconds");
  }
  int seconds = std::stoi(ToUtf8(v));
  // 0 would wait for ever; a dead server must never hang the caller, so it means the default.
  if (seconds == 0) return kDefaultLoginTimeout;
  return std::min(seconds, kMaxLoginTimeout);
}

// Driver names go in braces by convention, blanks and all.
void AppendBracedDriver(Text& out, TextView driver) {
  out += u"Driver={";
  for (char16_t c : driver) {
    if (c == u'\0') throw Error::InvalidProcedureCall("a driver name holds a NUL character");
    out += c;
    if (c == u'}') out += u'}';
  }
  out += u"};";
}

enum class ProviderKind { kNone, kSqlServer, kMsdasql, kSqlite, kOther };

ProviderKind KindOf(TextView provider) {
  provider = TrimBlanks(provider);
  if (provider.empty()) return ProviderKind::kNone;
  // ProgIDs may carry a version: SQLOLEDB.1, MSDASQL.1.
  TextView name = provider.substr(0, provider.find(u'.'));
  if (EqualsIgnoreCase(name, u"SQLOLEDB") || StartsWithIgnoreCase(name, u"MSOLEDBSQL") ||
      StartsWithIgnoreCase(name, u"SQLNCLI")) {
    return ProviderKind::kSqlServer;
  }
  if (EqualsIgnoreCase(name, u"MSDASQL")) return ProviderKind::kMsdasql;
  if (EqualsIgnoreCase(name, u"SQLite") || EqualsIgnoreCase(name, u"SQLite3")) {
    return ProviderKind::kSqlite;
  }
  return ProviderKind::kOther;
}

std::optional<int> TimeoutOf(const AdoPairs& pairs) {
  const Text* timeout = LastOf(pairs, {u"Connect Timeout", u"Connection Timeout", u"Timeout"});
  if (!timeout) return std::nullopt;
  return LoginTimeout(*timeout);
}

OdbcTarget TranslateSqlServer(const AdoPairs& pairs, TextView provider,
                              const std::vector<Text>& installed) {
  OdbcTarget target;
  const Text driver = ChooseSqlServerDriver(installed, DefaultSqlServerDriver());
  AppendBracedDriver(target.connection_string, driver);
  target.connection_string += TranslateSqlServerKeywords(pairs, provider, driver);
  target.login_timeout = TimeoutOf(pairs);
  return target;
}

OdbcTarget PassThrough(const AdoPairs& pairs) {
  OdbcTarget target;
  for (const auto& [raw_key, value] : pairs) {
    TextView key = TrimBlanks(raw_key);
    if (key.empty() || EqualsIgnoreCase(key, u"Provider")) continue;
    if (key.find_first_of(u"{}") != TextView::npos) {
      throw Error::InvalidProcedureCall("ODBC connection string: a keyword holds a brace");
    }
    if (EqualsIgnoreCase(key, u"Connect Timeout") || EqualsIgnoreCase(key, u"Connection Timeout")) {
      target.login_timeout = LoginTimeout(value);
    } else if (EqualsIgnoreCase(key, u"Driver")) {
      AppendBracedDriver(target.connection_string, value);
    } else {
      AppendPair(target.connection_string, key, value);
    }
  }
  return target;
}

}  // namespace

TextView DefaultSqlServerDriver() {
#ifdef _WIN32
  return u"SQL Server";
#else
  return u"FreeTDS";
#endif
}

Text ChooseSqlServerDriver(const std::vector<Text>& installed, TextView fallback) {
  // "ODBC Driver 18 for SQL Server", "ODBC Driver 17 for SQL Server", ...: the highest number.
  int best_version = -1;
  const Text* best = nullptr;
  for (const Text& name : installed) {
    TextView n = name;
    constexpr TextView kPrefix = u"ODBC Driver ";
    constexpr TextView kSuffix = u" for SQL Server";
    if (!StartsWithIgnoreCase(n, kPrefix) || n.size() <= kPrefix.size() + kSuffix.size() ||
        !EqualsIgnoreCase(n.substr(n.size() - kSuffix.size()), kSuffix)) {
      continue;
    }
    TextView number = n.substr(kPrefix.size(), n.size() - kPrefix.size() - kSuffix.size());
    if (number.empty() || number.size() > 4 ||
        !std::all_of(number.begin(), number.end(),
                     [](char16_t c) { return c >= u'0' && c <= u'9'; })) {
      continue;
    }
    int version = std::stoi(ToUtf8(number));
    if (version > best_version) {
      best_version = version;
      best = &name;
    }
  }
  if (best) return *best;
  for (TextView preferred : {u"FreeTDS", u"SQL Server Native Client 11.0", u"SQL Server"}) {
    for (const Text& name : installed) {
      if (EqualsIgnoreCase(name, preferred)) return name;
    }
  }
  return Text(fallback);
}

std::optional<OdbcTarget> TranslateAdoToOdbc(const AdoPairs& pairs,
                                             const std::vector<Text>& installedDrivers) {
  const Text* provider_value = LastOf(pairs, {u"Provider"});
  const Text provider = provider_value ? Text(TrimBlanks(*provider_value)) : Text();
  switch (KindOf(provider)) {
    case ProviderKind::kSqlite:
      return std::nullopt;
    case ProviderKind::kSqlServer:
      return TranslateSqlServer(pairs, provider, installedDrivers);
    case ProviderKind::kMsdasql:
      return PassThrough(pairs);
    case ProviderKind::kNone:
      if (LastOf(pairs, {u"DSN", u"FILEDSN", u"Driver"})) return PassThrough(pairs);
      return std::nullopt;
    case ProviderKind::kOther:
      break;
  }
  return std::nullopt;
}

}  // namespace wq::db::odbc
