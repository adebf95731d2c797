#include "platform/db/odbc/sqlserver_translate.h"

#include <algorithm>
#include <string>

#include "platform/db/connection_string.h"
#include "platform/db/odbc/driver_quoting.h"
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

// Where the server is, as FreeTDS takes it: host, instance and port apart.
struct ServerAddress {
  Text host, instance, port;
};

ServerAddress SplitServer(TextView server) {
  server = TrimSpacesAndTabs(server);
  if (StartsWithIgnoreCase(server, u"tcp:")) server.remove_prefix(4);
  for (TextView other : {u"np:", u"lpc:", u"admin:", u"via:"}) {
    if (StartsWithIgnoreCase(server, other)) {
      Refuse(
          "the FreeTDS driver reaches SQL Server over TCP only; Data Source names another "
          "protocol");
    }
  }
  if (StartsWithIgnoreCase(server, u"(localdb)")) {
    Refuse("the FreeTDS driver cannot reach a LocalDB instance; Data Source names one");
  }
  ServerAddress a;
  if (size_t comma = server.rfind(u','); comma != TextView::npos) {
    a.port = Text(TrimSpacesAndTabs(server.substr(comma + 1)));
    server = server.substr(0, comma);
    const bool digits = !a.port.empty() && a.port.size() <= 5 &&
                        std::all_of(a.port.begin(), a.port.end(),
                                    [](char16_t c) { return c >= u'0' && c <= u'9'; });
    if (!digits || std::stoi(ToUtf8(a.port)) == 0 || std::stoi(ToUtf8(a.port)) > 65535) {
      Refuse("the port in Data Source must be a number from 1 to 65535");
    }
  }
  if (size_t slash = server.find(u'\\'); slash != TextView::npos) {
    a.instance = Text(TrimSpacesAndTabs(server.substr(slash + 1)));
    server = server.substr(0, slash);
  }
  a.host = Text(TrimSpacesAndTabs(server));
  // A bracketed IPv6 literal ([::1]); FreeTDS takes the address without the brackets.
  if (a.host.size() >= 2 && a.host.front() == u'[' && a.host.back() == u']') {
    a.host = a.host.substr(1, a.host.size() - 2);
  }
  if (a.host.empty() || a.host == u"." || EqualsIgnoreCase(a.host, u"(local)")) {
    a.host = u"localhost";
  }
  return a;
}

// The value of an ADO keyword, else of its provider-string synonyms: the ADO keyword wins
// wherever either stands (and when empty), as in the OLE DB providers; the last pair of each.
const Text* Pick(const AdoPairs& pairs, std::initializer_list<TextView> ado,
                 std::initializer_list<TextView> synonyms) {
  if (const Text* v = LastOf(pairs, ado)) return v;
  return LastOf(pairs, synonyms);
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
  const Text* value = Pick(pairs, {u"Use Encryption for Data"}, {u"Encrypt"});
  if (!value) return modern ? Encryption::kMandatory : Encryption::kNotAsked;
  const TextView v = TrimSpacesAndTabs(*value);
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

bool ReadBool(const AdoPairs& pairs, std::initializer_list<TextView> ado,
              std::initializer_list<TextView> synonyms, const char* name, bool sspi = false) {
  const Text* v = Pick(pairs, ado, synonyms);
  if (!v) return false;
  std::optional<bool> b = AdoBool(*v);
  if (!b || (!sspi && EqualsIgnoreCase(TrimSpacesAndTabs(*v), u"sspi"))) {
    Refuse(std::string(name) + " must be true, false, yes or no" + (sspi ? " or SSPI" : ""));
  }
  return *b;
}

}  // namespace

Text TranslateSqlServerKeywords(const AdoPairs& pairs, TextView provider, TextView driver,
                               std::string* warning) {
  int version = 0;
  const Family family = FamilyOf(driver, version);
  const bool freetds = family == Family::kFreeTds;
  const bool microsoft = family == Family::kMicrosoft;
  const ValueReader reader = freetds ? ValueReader::kBracesToSemicolon : ValueReader::kBracesDoubled;
  Text out;
  auto put = [&](TextView key, TextView literal) {
    AppendPairFor(out, key, literal, reader, driver);
  };

  // The network address beats Data Source, which beats Server, wherever each stands; an empty
  // one is the local server.
  const Text* server = LastOf(pairs, {u"Address", u"Addr", u"Network Address"});
  if (!server) server = Pick(pairs, {u"Data Source"}, {u"Server"});
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
    const TextView s = TrimSpacesAndTabs(*server);
#ifndef _WIN32
    // Microsoft's drivers on Linux and macOS reach SQL Server over TCP only.
    for (TextView other : {u"np:", u"lpc:", u"(localdb)"}) {
      if (StartsWithIgnoreCase(s, other)) {
        Refuse("the " + ToUtf8(driver) +
               " driver reaches SQL Server over TCP only here (no named pipes, shared memory or "
               "LocalDB); Data Source names another protocol");
      }
    }
#endif
    put(u"Server", s);
  }

  if (const Text* db = Pick(pairs, {u"Initial Catalog"}, {u"Database"})) put(u"Database", *db);
  if (ReadBool(pairs, {u"Integrated Security"}, {u"Trusted_Connection"}, "Integrated Security",
               true)) {
    put(u"Trusted_Connection", u"Yes");
  } else {
    if (const Text* uid = Pick(pairs, {u"User ID"}, {u"UID", u"User"})) put(u"UID", *uid);
    if (const Text* pwd = Pick(pairs, {u"Password"}, {u"PWD"})) put(u"PWD", *pwd);
  }
  if (const Text* auth = LastOf(pairs, {u"Authentication"})) {
    const TextView v = TrimSpacesAndTabs(*auth);
    constexpr TextView kMethods[] = {u"SqlPassword",
                                     u"ActiveDirectoryPassword",
                                     u"ActiveDirectoryIntegrated",
                                     u"ActiveDirectoryInteractive",
                                     u"ActiveDirectoryMsi",
                                     u"ActiveDirectoryManagedIdentity",
                                     u"ActiveDirectoryServicePrincipal",
                                     u"ActiveDirectoryDefault"};
    if (std::none_of(std::begin(kMethods), std::end(kMethods),
                     [&](TextView m) { return EqualsIgnoreCase(v, m); })) {
      Refuse("Authentication must be SqlPassword or one of the ActiveDirectory methods");
    }
    if (microsoft && version >= 17) {
      put(u"Authentication", v);
    } else if (!EqualsIgnoreCase(v, u"SqlPassword")) {
      // SqlPassword is the SQL login every driver makes; Entra ID logins only Driver 17/18 make.
      Refuse("Authentication=" + ToUtf8(v) +
             " needs Microsoft ODBC Driver 17 or 18 for SQL Server; the " + ToUtf8(driver) +
             " driver has no such login");
    }
  }
  if (const Text* app = Pick(pairs, {u"Application Name"}, {u"APP"})) put(u"APP", *app);
  if (const Text* wsid = Pick(pairs, {u"Workstation ID"}, {u"WSID"})) put(u"WSID", *wsid);
  if (const Text* lang = Pick(pairs, {u"Current Language"}, {u"Language"})) {
    put(u"Language", TrimSpacesAndTabs(*lang));
  }

  if (const Text* intent = Pick(pairs, {u"Application Intent"}, {u"ApplicationIntent"})) {
    const TextView v = TrimSpacesAndTabs(*intent);
    if (!EqualsIgnoreCase(v, u"ReadOnly") && !EqualsIgnoreCase(v, u"ReadWrite")) {
      Refuse("ApplicationIntent must be ReadOnly or ReadWrite");
    }
    if (family != Family::kLegacy) put(u"ApplicationIntent", v);
  }
  const bool multi_subnet = ReadBool(pairs, {u"Multi Subnet Failover"}, {u"MultiSubnetFailover"},
                                     "MultiSubnetFailover");
  const Text* partner =
      Pick(pairs, {u"Failover Partner"}, {u"Failover_Partner", u"FailoverPartner"});
  if (microsoft || family == Family::kNativeClient) {
    if (multi_subnet) put(u"MultiSubnetFailover", u"Yes");
    if (partner) put(u"Failover_Partner", TrimSpacesAndTabs(*partner));
  }
  if (const Text* spn = Pick(pairs, {u"Server SPN"}, {u"ServerSPN"})) {
    if (family != Family::kLegacy) put(u"ServerSPN", TrimSpacesAndTabs(*spn));
  }
  if (const Text* name = Pick(pairs, {u"Host Name In Certificate"}, {u"HostNameInCertificate"})) {
    if (!(microsoft && version >= 18)) {
      Refuse("Host Name In Certificate cannot be passed to the " + ToUtf8(driver) +
             " driver (only Microsoft ODBC Driver 18 and later take it)");
    }
    put(u"HostnameInCertificate", TrimSpacesAndTabs(*name));
  }

  const Encryption encryption = ReadEncryption(pairs, provider);
  const bool trust = ReadBool(pairs, {u"Trust Server Certificate"}, {u"TrustServerCertificate"},
                              "Trust Server Certificate");
  if (encryption == Encryption::kStrict && !(microsoft && version >= 18)) {
    Refuse("Use Encryption for Data=Strict needs Microsoft ODBC Driver 18 for SQL Server or later");
  }
  switch (family) {
    case Family::kFreeTds:
      // "request" encrypts when the server insists, as the old providers did. FreeTDS checks a
      // certificate only when its own configuration names the authorities ("ca file").
      put(u"Encryption", encryption == Encryption::kMandatory ? u"require" : u"request");
      if (encryption == Encryption::kMandatory && !trust && warning) {
        *warning =
            "the host asked for an encrypted connection with a checked server certificate; the "
            "FreeTDS driver checks one only when freetds.conf names a CA file ('ca file = ...' "
            "in [global]), else it encrypts without verifying the server";
      }
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
