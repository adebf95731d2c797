#include "platform/db/odbc/sqlserver_translate.h"

#include <algorithm>
#include <string>

#include "platform/db/connection_string.h"
#include "platform/error.h"

namespace wq::db::odbc {
namespace {

// Microsoft's "ODBC Driver NN for SQL Server", the two Native Clients, Windows' old "SQL
// Server" driver, and FreeTDS: they differ in the keywords they take and in their defaults.
enum class Family { kMicrosoft, kNativeClient, kLegacy, kFreeTds };

Family FamilyOf(TextView driver, int& version) {
  version = 0;
  if (EqualsIgnoreCase(driver, u"FreeTDS")) return Family::kFreeTds;
  if (StartsWithIgnoreCase(driver, u"SQL Server Native Client")) return Family::kNativeClient;
  constexpr TextView kPrefix = u"ODBC Driver ";
  if (StartsWithIgnoreCase(driver, kPrefix)) {
    for (size_t i = kPrefix.size(); i < driver.size() && driver[i] >= u'0' && driver[i] <= u'9';
         ++i) {
      version = std::min(version * 10 + (driver[i] - u'0'), 1000);
    }
    return Family::kMicrosoft;
  }
  return Family::kLegacy;
}

[[noreturn]] void Refuse(const std::string& why) {
  throw Error::InvalidProcedureCall("Cannot open the database: " + why);
}

// The value as FreeTDS reads it. Its builds before 1.3.21 misread a braced value that ends the
// string (every pair here ends with ';') and older ones cannot read "}}" inside braces, so a
// value is braced only when it must be (for FreeTDS: it holds ';' or begins with '{'; for the
// masking of messages, which reads the string with ConnectionString: outer blanks or a leading
// quote), and one that would need a '}' inside braces cannot be passed at all.
void AppendFreeTdsPair(Text& out, TextView key, TextView literal) {
  auto blank = [](char16_t c) { return c == u' ' || c == u'\t'; };
  const bool braces = literal.find(u';') != TextView::npos ||
                      (!literal.empty() && (literal.front() == u'{' || literal.front() == u'"' ||
                                            literal.front() == u'\'' || blank(literal.front()) ||
                                            blank(literal.back())));
  if (literal.find(u'\0') != TextView::npos) {
    Refuse("the value of " + ToUtf8(key) + " holds a NUL character");
  }
  if (braces && literal.find(u'}') != TextView::npos) {
    Refuse("the value of " + ToUtf8(key) +
           " needs braces for the FreeTDS driver (it holds ';' or begins with '{', a quote or a "
           "blank) and holds '}', which FreeTDS cannot read inside braces");
  }
  out += key;
  out += u'=';
  if (braces) out += u'{';
  out += literal;
  if (braces) out += u'}';
  out += u';';
}

// Where the server is, as FreeTDS takes it: host, instance and port apart.
struct ServerAddress {
  Text host, instance, port;
};

ServerAddress SplitServer(TextView server) {
  server = TrimBlanks(server);
  if (StartsWithIgnoreCase(server, u"tcp:")) server.remove_prefix(4);
  for (TextView other : {u"np:", u"lpc:", u"admin:", u"via:"}) {
    if (StartsWithIgnoreCase(server, other)) {
      Refuse(
          "the FreeTDS driver reaches SQL Server over TCP only; Data Source names another "
          "protocol");
    }
  }
  ServerAddress a;
  if (size_t comma = server.rfind(u','); comma != TextView::npos) {
    a.port = Text(TrimBlanks(server.substr(comma + 1)));
    server = server.substr(0, comma);
    const bool digits = !a.port.empty() && a.port.size() <= 5 &&
                        std::all_of(a.port.begin(), a.port.end(),
                                    [](char16_t c) { return c >= u'0' && c <= u'9'; });
    if (!digits || std::stoi(ToUtf8(a.port)) == 0 || std::stoi(ToUtf8(a.port)) > 65535) {
      Refuse("the port in Data Source must be a number from 1 to 65535");
    }
  }
  if (size_t slash = server.find(u'\\'); slash != TextView::npos) {
    a.instance = Text(TrimBlanks(server.substr(slash + 1)));
    server = server.substr(0, slash);
  }
  a.host = Text(TrimBlanks(server));
  if (a.host.empty() || a.host == u"." || EqualsIgnoreCase(a.host, u"(local)")) {
    a.host = u"localhost";
  }
  return a;
}

// What the host asked of encryption. kNotAsked: no keyword, or false/no/0 from a provider
// before MSOLEDBSQL19 (which never checked a certificate then).
enum class Encryption { kNotAsked, kOptional, kMandatory, kStrict };

Encryption ReadEncryption(const AdoPairs& pairs, TextView provider) {
  // MSOLEDBSQL19 and later encrypt unless told otherwise; the older providers did not.
  int provider_version = 0;
  if (StartsWithIgnoreCase(provider, u"MSOLEDBSQL")) {
    for (char16_t c : provider.substr(10)) {
      if (c < u'0' || c > u'9') break;
      provider_version = std::min(provider_version * 10 + (c - u'0'), 1000);
    }
  }
  const bool modern = provider_version >= 19;
  const Text* value = LastOf(pairs, {u"Use Encryption for Data", u"Encrypt"});
  if (!value) return modern ? Encryption::kMandatory : Encryption::kNotAsked;
  const TextView v = TrimBlanks(*value);
  if (EqualsIgnoreCase(v, u"Strict")) return Encryption::kStrict;
  if (EqualsIgnoreCase(v, u"Mandatory")) return Encryption::kMandatory;
  if (EqualsIgnoreCase(v, u"Optional")) {
    return modern ? Encryption::kOptional : Encryption::kNotAsked;
  }
  std::optional<bool> b = AdoBool(v);
  if (!b || EqualsIgnoreCase(v, u"sspi")) {
    Refuse("Use Encryption for Data must be true, false, Optional, Mandatory or Strict");
  }
  if (*b) return Encryption::kMandatory;
  return modern ? Encryption::kOptional : Encryption::kNotAsked;
}

bool ReadBool(const AdoPairs& pairs, std::initializer_list<TextView> keys, const char* name,
              bool sspi = false) {
  const Text* v = LastOf(pairs, keys);
  if (!v) return false;
  std::optional<bool> b = AdoBool(*v);
  if (!b || (!sspi && EqualsIgnoreCase(TrimBlanks(*v), u"sspi"))) {
    Refuse(std::string(name) + " must be true, false, yes or no" + (sspi ? " or SSPI" : ""));
  }
  return *b;
}

}  // namespace

Text TranslateSqlServerKeywords(const AdoPairs& pairs, TextView provider, TextView driver) {
  int version = 0;
  const Family family = FamilyOf(driver, version);
  const bool freetds = family == Family::kFreeTds;
  Text out;
  auto put = [&](TextView key, TextView literal) {
    if (freetds) {
      AppendFreeTdsPair(out, key, literal);
    } else {
      AppendPair(out, key, literal);
    }
  };

  // Address wins over Data Source and Server wherever it stands, as in the OLE DB providers.
  const Text* server = LastOf(pairs, {u"Address", u"Addr", u"Network Address"});
  if (!server) server = LastOf(pairs, {u"Data Source", u"Server"});
  if (freetds) {
    // FreeTDS takes its protocol version and its default port from its own configuration files
    // unless told; and with both an instance and a port it takes neither reliably: the port wins.
    const ServerAddress a = SplitServer(server ? TextView(*server) : TextView());
    if (a.port.empty() && !a.instance.empty()) {
      put(u"Server", a.host + u"\\" + a.instance);
    } else {
      put(u"Server", a.host);
      put(u"Port", a.port.empty() ? Text(u"1433") : a.port);
    }
    put(u"TDS_Version", u"7.3");
  } else if (server) {
    put(u"Server", TrimBlanks(*server));
  }

  if (const Text* db = LastOf(pairs, {u"Initial Catalog", u"Database"})) put(u"Database", *db);
  if (ReadBool(pairs, {u"Integrated Security", u"Trusted_Connection"}, "Integrated Security",
               true)) {
    put(u"Trusted_Connection", u"Yes");
  } else {
    if (const Text* uid = LastOf(pairs, {u"User ID", u"UID", u"User"})) put(u"UID", *uid);
    if (const Text* pwd = LastOf(pairs, {u"Password", u"PWD"})) put(u"PWD", *pwd);
  }
  if (const Text* app = LastOf(pairs, {u"Application Name", u"APP"})) put(u"APP", *app);
  if (const Text* wsid = LastOf(pairs, {u"Workstation ID", u"WSID"})) put(u"WSID", *wsid);

  if (const Text* intent = LastOf(pairs, {u"ApplicationIntent", u"Application Intent"})) {
    const TextView v = TrimBlanks(*intent);
    if (!EqualsIgnoreCase(v, u"ReadOnly") && !EqualsIgnoreCase(v, u"ReadWrite")) {
      Refuse("ApplicationIntent must be ReadOnly or ReadWrite");
    }
    if (family != Family::kLegacy) put(u"ApplicationIntent", v);
  }
  const bool multi_subnet =
      ReadBool(pairs, {u"MultiSubnetFailover", u"Multi Subnet Failover"}, "MultiSubnetFailover");
  const Text* partner = LastOf(pairs, {u"Failover Partner", u"Failover_Partner"});
  if (family == Family::kMicrosoft || family == Family::kNativeClient) {
    if (multi_subnet) put(u"MultiSubnetFailover", u"Yes");
    if (partner) put(u"Failover_Partner", TrimBlanks(*partner));
  }

  const Encryption encryption = ReadEncryption(pairs, provider);
  const bool trust = ReadBool(pairs, {u"Trust Server Certificate", u"TrustServerCertificate"},
                              "Trust Server Certificate");
  if (encryption == Encryption::kStrict && !(family == Family::kMicrosoft && version >= 18)) {
    Refuse("Use Encryption for Data=Strict needs Microsoft ODBC Driver 18 for SQL Server or later");
  }
  switch (family) {
    case Family::kFreeTds:
      // "request" encrypts when the server insists, as the old providers did; FreeTDS checks
      // no certificate unless its configuration names the authorities.
      put(u"Encryption", encryption == Encryption::kMandatory ? u"require" : u"request");
      break;
    case Family::kMicrosoft:
      if (encryption == Encryption::kStrict) {
        put(u"Encrypt", u"strict");
      } else if (encryption == Encryption::kMandatory) {
        put(u"Encrypt", u"yes");
        if (trust) put(u"TrustServerCertificate", u"yes");
      } else {
        // Driver 18 checks the certificate of a server that forces encryption even with
        // Encrypt=no; the old providers never did, and self-signed certificates are common.
        put(u"Encrypt", u"no");
        if (trust || encryption == Encryption::kNotAsked) put(u"TrustServerCertificate", u"yes");
      }
      break;
    case Family::kNativeClient:
    case Family::kLegacy:
      // These behave as the old providers: no encryption and no certificate check unless asked.
      if (encryption == Encryption::kMandatory) put(u"Encrypt", u"yes");
      if (trust && family == Family::kNativeClient) put(u"TrustServerCertificate", u"yes");
      break;
  }
  return out;
}

}  // namespace wq::db::odbc
