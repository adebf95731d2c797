#include "platform/db/odbc/ado_translate.h"

#include <algorithm>
#include <array>

#include "platform/db/odbc/odbc_connection_string.h"
#include "platform/error.h"

namespace wq::db::odbc {
namespace {

using Pairs = std::vector<std::pair<Text, Text>>;

constexpr int kDefaultLoginTimeout = 15;  // ADO's default Connect Timeout
constexpr int kMaxLoginTimeout = 3600;

TextView Trim(TextView s) {
  while (!s.empty() && (s.front() == u' ' || s.front() == u'\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == u' ' || s.back() == u'\t')) s.remove_suffix(1);
  return s;
}

bool StartsWithIgnoreCase(TextView s, TextView prefix) {
  return s.size() >= prefix.size() && EqualsIgnoreCase(s.substr(0, prefix.size()), prefix);
}

// A value the ADO parser kept in ODBC braces. It has already read "}}" inside them as one '}'.
bool IsBraced(TextView v) { return v.size() >= 2 && v.front() == u'{' && v.back() == u'}'; }

// The value the host meant: braces removed where the ADO parser kept them.
Text Literal(TextView v) { return Text(IsBraced(v) ? v.substr(1, v.size() - 2) : v); }

const Text* Last(const Pairs& pairs, std::initializer_list<TextView> keys) {
  const Text* found = nullptr;
  for (const auto& [key, value] : pairs) {
    for (TextView k : keys) {
      if (EqualsIgnoreCase(Trim(key), k)) found = &value;
    }
  }
  return found;
}

std::optional<bool> AdoBool(TextView v) {
  v = Trim(v);
  for (TextView t : {u"true", u"yes", u"1", u"sspi"}) {
    if (EqualsIgnoreCase(v, t)) return true;
  }
  for (TextView f : {u"false", u"no", u"0"}) {
    if (EqualsIgnoreCase(v, f)) return false;
  }
  return std::nullopt;
}

bool BoolKey(const Pairs& pairs, std::initializer_list<TextView> keys, const char* name) {
  const Text* v = Last(pairs, keys);
  if (!v) return false;
  std::optional<bool> b = AdoBool(Literal(*v));
  if (!b) {
    throw Error::InvalidProcedureCall(std::string(name) + " must be true, false, yes, no or SSPI");
  }
  return *b;
}

int LoginTimeout(const Text& value) {
  Text v(Trim(Literal(value)));
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
  if (!out.empty()) out += u';';
  out += u"Driver={";
  for (char16_t c : driver) {
    if (c == u'\0') throw Error::InvalidProcedureCall("a driver name holds a NUL character");
    out += c;
    if (c == u'}') out += u'}';
  }
  out += u'}';
}

enum class ProviderKind { kNone, kSqlServer, kMsdasql, kSqlite, kOther };

ProviderKind KindOf(TextView provider) {
  provider = Trim(provider);
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

bool IsFreeTds(TextView driver) { return EqualsIgnoreCase(driver, u"FreeTDS"); }

// "tcp:host,1433" -> host and port, as FreeTDS takes them; "(local)" and "." are this machine.
void SplitFreeTdsServer(Text server, Text& host, Text& port) {
  if (StartsWithIgnoreCase(server, u"tcp:")) server.erase(0, 4);
  size_t comma = server.rfind(u',');
  if (comma != Text::npos) {
    port = Text(Trim(TextView(server).substr(comma + 1)));
    server.erase(comma);
  }
  size_t slash = server.find(u'\\');
  TextView machine = TextView(server).substr(0, slash);
  if (EqualsIgnoreCase(Trim(machine), u"(local)") || Trim(machine) == u".") {
    server.replace(0, slash == Text::npos ? server.size() : slash, u"localhost");
  }
  host = std::move(server);
}

OdbcTarget TranslateSqlServer(const Pairs& pairs, TextView provider,
                              const std::vector<Text>& installed) {
  OdbcTarget target;
  Text driver = ChooseSqlServerDriver(installed, DefaultSqlServerDriver());
  Text& out = target.connection_string;
  AppendBracedDriver(out, driver);

  if (const Text* server =
          Last(pairs, {u"Data Source", u"Server", u"Address", u"Addr", u"Network Address"})) {
    Text literal = Literal(*server);
    if (IsFreeTds(driver)) {
      Text host, port;
      SplitFreeTdsServer(Text(Trim(literal)), host, port);
      AppendOdbcPair(out, u"Server", host);
      if (!port.empty()) AppendOdbcPair(out, u"Port", port);
    } else {
      AppendOdbcPair(out, u"Server", literal);
    }
  }
  if (const Text* db = Last(pairs, {u"Initial Catalog", u"Database"})) {
    AppendOdbcPair(out, u"Database", Literal(*db));
  }
  bool trusted =
      BoolKey(pairs, {u"Integrated Security", u"Trusted_Connection"}, "Integrated Security");
  if (trusted) {
    AppendOdbcPair(out, u"Trusted_Connection", u"Yes");
  } else {
    if (const Text* uid = Last(pairs, {u"User ID", u"UID", u"User"})) {
      AppendOdbcPair(out, u"UID", Literal(*uid));
    }
    if (const Text* pwd = Last(pairs, {u"Password", u"PWD"})) {
      AppendOdbcPair(out, u"PWD", Literal(*pwd));
    }
  }
  if (const Text* app = Last(pairs, {u"Application Name", u"APP"})) {
    AppendOdbcPair(out, u"APP", Literal(*app));
  }
  if (const Text* wsid = Last(pairs, {u"Workstation ID", u"WSID"})) {
    AppendOdbcPair(out, u"WSID", Literal(*wsid));
  }

  bool encrypt_given = Last(pairs, {u"Use Encryption for Data", u"Encrypt"}) != nullptr;
  bool encrypt = BoolKey(pairs, {u"Use Encryption for Data", u"Encrypt"}, "Encrypt");
  bool trust_cert = BoolKey(pairs, {u"Trust Server Certificate", u"TrustServerCertificate"},
                            "Trust Server Certificate");
  if (IsFreeTds(driver)) {
    if (encrypt) AppendOdbcPair(out, u"Encryption", u"require");
  } else {
    // SQLOLEDB, SQLNCLI and MSOLEDBSQL before 19 do not encrypt unless asked, while Microsoft's
    // ODBC Driver 18 does by default; keep the provider's behaviour.
    bool provider_encrypts = StartsWithIgnoreCase(Trim(provider), u"MSOLEDBSQL19");
    bool driver_encrypts = StartsWithIgnoreCase(driver, u"ODBC Driver ");
    if (encrypt_given || (driver_encrypts && !provider_encrypts)) {
      AppendOdbcPair(out, u"Encrypt", encrypt ? u"yes" : u"no");
    }
    if (trust_cert) AppendOdbcPair(out, u"TrustServerCertificate", u"yes");
  }

  if (const Text* timeout = Last(pairs, {u"Connect Timeout", u"Connection Timeout", u"Timeout"})) {
    target.login_timeout = LoginTimeout(*timeout);
  }
  return target;
}

OdbcTarget PassThrough(const Pairs& pairs) {
  OdbcTarget target;
  for (const auto& [raw_key, value] : pairs) {
    TextView key = Trim(raw_key);
    if (key.empty() || EqualsIgnoreCase(key, u"Provider")) continue;
    if (key.find_first_of(u"{}") != TextView::npos) {
      throw Error::InvalidProcedureCall("ODBC connection string: a keyword holds a brace");
    }
    if (EqualsIgnoreCase(key, u"Connect Timeout") || EqualsIgnoreCase(key, u"Connection Timeout")) {
      target.login_timeout = LoginTimeout(value);
      continue;
    }
    if (EqualsIgnoreCase(key, u"Driver")) {
      AppendBracedDriver(target.connection_string, Literal(value));
    } else {
      AppendOdbcPair(target.connection_string, key, Literal(value));
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

std::optional<OdbcTarget> TranslateAdoToOdbc(const Pairs& pairs,
                                             const std::vector<Text>& installedDrivers) {
  const Text* provider_value = Last(pairs, {u"Provider"});
  Text provider = provider_value ? Literal(*provider_value) : Text();
  switch (KindOf(provider)) {
    case ProviderKind::kSqlite:
      return std::nullopt;
    case ProviderKind::kSqlServer:
      return TranslateSqlServer(pairs, provider, installedDrivers);
    case ProviderKind::kMsdasql:
      return PassThrough(pairs);
    case ProviderKind::kNone:
      if (Last(pairs, {u"DSN", u"FILEDSN", u"Driver"})) return PassThrough(pairs);
      return std::nullopt;
    case ProviderKind::kOther:
      break;
  }
  return std::nullopt;
}

}  // namespace wq::db::odbc
