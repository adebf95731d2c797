#include "platform/db/odbc/ado_translate.h"

#include <algorithm>

#include "platform/db/connection_string.h"
#include "platform/db/odbc/ado_pairs.h"
#include "platform/db/odbc/driver_quoting.h"
#include "platform/db/odbc/sqlserver_translate.h"
#include "platform/error.h"

namespace wq::db::odbc {
namespace {

constexpr int kDefaultLoginTimeout = 15;  // ADO's default Connect Timeout
constexpr int kMaxLoginTimeout = 3600;

int LoginTimeout(const Text& value) {
  Text v(TrimSpacesAndTabs(value));
  if (v.empty() || v.size() > 6 ||
      !std::all_of(v.begin(), v.end(), [](char16_t c) { return c >= u'0' && c <= u'9'; })) {
    throw Error::InvalidProcedureCall("Connect Timeout must be a whole number of seconds");
  }
  int seconds = std::stoi(ToUtf8(v));
  // 0 would wait for ever; a dead server must never hang the caller, so it means the default.
  if (seconds == 0) return kDefaultLoginTimeout;
  return std::min(seconds, kMaxLoginTimeout);
}

enum class ProviderKind { kNone, kSqlServer, kMsdasql, kSqlite, kOther };

ProviderKind KindOf(TextView provider) {
  provider = TrimSpacesAndTabs(provider);
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
  AppendDriver(target.connection_string, driver);
  target.connection_string += TranslateSqlServerKeywords(pairs, provider, driver, &target.warning);
  target.login_timeout = TimeoutOf(pairs);
  return target;
}

// One pair of an ODBC string on its way out; `ado` marks a pair that an ADO keyword gave, which
// beats a provider-string synonym of it wherever either stands.
struct OdbcPair {
  Text key, value;
  bool ado = false;
};

bool IsOneOf(TextView key, std::initializer_list<TextView> names) {
  return std::any_of(names.begin(), names.end(),
                     [&](TextView n) { return EqualsIgnoreCase(key, n); });
}

// Writes the pairs, each key once (ADO's winner: the last ADO-keyword pair, else the last pair;
// the first pair wins in some drivers, so duplicates never reach them), each value as the
// driver reads it: the driver that Driver names, else a DSN's, which is not known here.
OdbcTarget WriteOdbcPairs(const std::vector<OdbcPair>& pairs, std::optional<int> login_timeout) {
  std::vector<const OdbcPair*> winners;
  for (const OdbcPair& pair : pairs) {
    if (pair.key.find_first_of(u"{}") != Text::npos) {
      throw Error::InvalidProcedureCall("ODBC connection string: a keyword holds a brace");
    }
    // SAVEFILE makes the driver manager write the connection's keywords to a file of the
    // string's choosing once it connects: a register is only read and written, never saved.
    if (EqualsIgnoreCase(TrimSpacesAndTabs(pair.key), u"SAVEFILE")) {
      throw Error::InvalidProcedureCall(
          "ODBC connection string: SAVEFILE is refused (it would write the connection to a file)");
    }
    auto same = std::find_if(winners.begin(), winners.end(),
                             [&](const OdbcPair* w) { return EqualsIgnoreCase(w->key, pair.key); });
    if (same == winners.end()) {
      winners.push_back(&pair);
    } else if (pair.ado || !(*same)->ado) {
      *same = &pair;
    }
  }
  Text driver;
  for (const OdbcPair* w : winners) {
    if (EqualsIgnoreCase(w->key, u"Driver")) driver = Text(TrimSpacesAndTabs(w->value));
  }
  const ValueReader reader = driver.empty() ? ValueReader::kNoBraces : ReaderOf(driver);
  OdbcTarget target;
  target.login_timeout = login_timeout;
  for (const OdbcPair* w : winners) {
    if (EqualsIgnoreCase(w->key, u"Driver")) {
      AppendDriver(target.connection_string, driver);
    } else {
      AppendPairFor(target.connection_string, w->key, w->value, reader, driver);
    }
  }
  return target;
}

// An ODBC string: its pairs as they are, without the provider and the login timeout. With
// MSDASQL, the OLE DB provider's own keywords first become what the provider makes of them:
// Data Source the DSN, User ID, Password and Initial Catalog the login and database, and the
// pairs of Extended Properties (an ODBC string) join the rest.
OdbcTarget PassThrough(const AdoPairs& pairs, bool msdasql) {
  std::vector<OdbcPair> out;
  std::optional<int> login_timeout;
  for (const auto& [raw_key, value] : pairs) {
    const Text key(TrimSpacesAndTabs(raw_key));
    if (key.empty() || EqualsIgnoreCase(key, u"Provider")) continue;
    if (IsOneOf(key, {u"Connect Timeout", u"Connection Timeout"})) {
      login_timeout = LoginTimeout(value);
      continue;
    }
    if (!msdasql) {
      out.push_back({key, value, false});
    } else if (EqualsIgnoreCase(key, u"Extended Properties")) {
      std::vector<std::pair<Text, Text>> extended;
      try {
        extended = ConnectionString::Parse(value).pairs();
      } catch (const Error& e) {
        throw Error::InvalidProcedureCall("Extended Properties: " + e.description());
      }
      for (auto& [k, v] : extended)
        out.push_back({Text(TrimSpacesAndTabs(k)), std::move(v), false});
    } else if (IsOneOf(key, {u"Persist Security Info", u"Prompt", u"Mode", u"Locale Identifier",
                             u"Window Handle", u"General Timeout"})) {
      // The provider's own settings; no driver reads them.
    } else if (EqualsIgnoreCase(key, u"Data Source")) {
      out.push_back({u"DSN", value, true});
    } else if (EqualsIgnoreCase(key, u"User ID")) {
      out.push_back({u"UID", value, true});
    } else if (EqualsIgnoreCase(key, u"Password")) {
      out.push_back({u"PWD", value, true});
    } else if (EqualsIgnoreCase(key, u"Initial Catalog")) {
      out.push_back({u"DATABASE", value, true});
    } else {
      out.push_back({key, value, false});
    }
  }
  return WriteOdbcPairs(out, login_timeout);
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
  const Text provider = provider_value ? Text(TrimSpacesAndTabs(*provider_value)) : Text();
  switch (KindOf(provider)) {
    case ProviderKind::kSqlite:
      return std::nullopt;
    case ProviderKind::kSqlServer:
      return TranslateSqlServer(pairs, provider, installedDrivers);
    case ProviderKind::kMsdasql:
      return PassThrough(pairs, /*msdasql=*/true);
    case ProviderKind::kNone:
      if (LastOf(pairs, {u"DSN", u"FILEDSN", u"Driver"})) return PassThrough(pairs, false);
      return std::nullopt;
    case ProviderKind::kOther:
      break;
  }
  return std::nullopt;
}

bool IsForOdbc(const AdoPairs& pairs) {
  const Text* provider = LastOf(pairs, {u"Provider"});
  switch (KindOf(provider ? TextView(*provider) : TextView())) {
    case ProviderKind::kSqlServer:
    case ProviderKind::kMsdasql:
      return true;
    case ProviderKind::kNone:
      return LastOf(pairs, {u"DSN", u"FILEDSN", u"Driver"}) != nullptr;
    case ProviderKind::kSqlite:
    case ProviderKind::kOther:
      break;
  }
  return false;
}

}  // namespace wq::db::odbc
