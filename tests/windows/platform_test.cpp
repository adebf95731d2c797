// The Windows platform files under Wine: the ANSI code pages on the system's conversions (with
// hostile input), the machine's computer name, and the SQL Server driver that ADO strings get. Run
// by the Windows test stage; prints one line per failed check and ends with "platform checks=<n>
// failures=<m>".
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "platform/db/connection_string.h"
#include "platform/db/odbc/ado_translate.h"
#include "platform/db/odbc/environment.h"
#include "platform/env/env.h"
#include "platform/error.h"
#include "platform/text/ansi.h"

namespace {

int g_checks = 0;
int g_failures = 0;

void Check(bool ok, const char* what) {
  ++g_checks;
  if (!ok) {
    ++g_failures;
    std::printf("FAIL %s\n", what);
  }
}

// The error number that opening the code page raises, or 0 when it opens.
int OpenError(const std::string& name) {
  try {
    wq::AnsiCodePage::Open(name);
    return 0;
  } catch (const wq::Error& e) {
    return e.number();
  }
}

void CheckWestern() {
  const auto cp = wq::AnsiCodePage::Open("CP1252");
  Check(cp->name() == "CP1252", "CP1252 is named so");
  Check(cp->Encode(u"A\u00C4\u20AC") == wq::Bytes{0x41, 0xC4, 0x80},
        "CP1252 encodes A, A-umlaut, euro");
  Check(cp->Decode(wq::Bytes{0x41, 0xC4, 0x80}) == u"A\u00C4\u20AC", "CP1252 decodes them back");
  Check(cp->Encode(u"\u4E2D") == wq::Bytes{'?'}, "a character CP1252 lacks becomes '?'");
  Check(cp->Encode(u"a\xD800z") == wq::Bytes{'a', '?', 'z'}, "an unpaired surrogate becomes '?'");
  Check(cp->Encode(u"").empty() && cp->Decode(nullptr, 0).empty(), "empty stays empty");
  Check(cp->CharCode(u'\u20AC') == 0x80 && cp->CharCode(u'A') == 0x41, "CP1252 character codes");
  const wq::Text nul(3, u'\0');
  Check(cp->Encode(nul) == wq::Bytes(3, 0) && cp->Decode(wq::Bytes(3, 0)) == nul,
        "NUL characters pass both ways");
  wq::Bytes all(256);
  for (int i = 0; i < 256; ++i) all[i] = static_cast<uint8_t>(i);
  Check(cp->Decode(all).size() == 256, "every byte decodes to one character");
  const wq::Text big(1 << 20, u'x');
  Check(cp->Decode(cp->Encode(big)) == big, "a megabyte round trip");
}

void CheckDoubleByte() {
  const auto cp = wq::AnsiCodePage::Open("cp936");
  Check(cp->Encode(u"\u4E2D") == wq::Bytes{0xD6, 0xD0}, "CP936 encodes a Han character in 2 bytes");
  Check(cp->CharCode(u'\u4E2D') == 0xD6D0, "CP936 character code is lead * 256 + trail");
  Check(cp->Decode(wq::Bytes{0xD6, 0xD0, 0x41}) == u"\u4E2DA", "CP936 decodes it back");
  // A lead byte without its trail byte, at the end and before an ASCII byte.
  Check(!cp->Decode(wq::Bytes{0x41, 0xD6}).empty(), "a lone lead byte at the end decodes");
  Check(cp->Decode(wq::Bytes{0xD6, 0x0A}).size() >= 1, "a lead byte before a line feed decodes");
  Check(cp->Decode(wq::Bytes{0xFF, 0xFF, 0xFF}).size() >= 1, "undefined bytes decode");
}

void CheckNames() {
  Check(OpenError("UTF-8") == 0 && OpenError("1252") == 0, "UTF-8 and a bare number open");
  Check(OpenError("CP99999") == wq::kInvalidProcedureCall, "an unknown code page is refused");
  Check(OpenError("") == wq::kInvalidProcedureCall, "an empty name is refused");
  Check(OpenError("CP") == wq::kInvalidProcedureCall, "a name without a number is refused");
  Check(OpenError("CP12x2") == wq::kInvalidProcedureCall, "a name with junk is refused");
  Check(OpenError("CP4294967297") == wq::kInvalidProcedureCall, "an overlong number is refused");
  Check(OpenError("CP1200") == wq::kInvalidProcedureCall, "UTF-16 is no ANSI code page");
  Check(wq::AnsiCodePage::Process().name() == "CP" + std::to_string(GetACP()),
        "the process code page is the system's ANSI code page");
}

void CheckEnv() {
  char buffer[16];
  std::memset(buffer, ' ', sizeof buffer);
  wq::Env& env = wq::Env::Default();
  Check(env.GetComputerNameA(buffer, sizeof buffer), "the computer name is read");
  char expected[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = sizeof expected;
  GetComputerNameA(expected, &size);
  Check(std::strcmp(buffer, expected) == 0, "the computer name is the system's");
  char small[2] = {'x', 'y'};
  Check(!env.GetComputerNameA(small, sizeof small) || size < 2, "a short buffer is refused");
  Check(!env.GetComputerNameA(nullptr, 16), "no buffer is refused");
}

// The drivers come from the test stage's driver list, which offers "ODBC Driver 13 for SQL
// Server" and "ODBC Driver 17 for SQL Server" beside SQLite3: an ADO string for SQL Server goes
// to the newest Microsoft driver that the system's driver manager lists.
void CheckSqlServerDriverChoice() {
  const std::vector<wq::Text> drivers = wq::db::odbc::InstalledDrivers();
  bool sqlite = false;
  for (const wq::Text& name : drivers) sqlite = sqlite || name == u"SQLite3";
  Check(sqlite, "the driver manager lists the installed drivers");
  const auto ado = wq::db::ConnectionString::Parse(
      u"Provider=SQLOLEDB;Data Source=db1;Initial Catalog=Host;User ID=sa;Password=x");
  const auto target = wq::db::odbc::TranslateAdoToOdbc(ado.pairs(), drivers);
  Check(target && target->connection_string.rfind(
                      u"Driver={ODBC Driver 17 for SQL Server};Server=db1;Database=Host;", 0) == 0,
        "an ADO string for SQL Server picks ODBC Driver 17 for SQL Server");
  Check(wq::db::odbc::ChooseSqlServerDriver({u"SQLite3"}, wq::db::odbc::DefaultSqlServerDriver()) ==
            u"SQL Server",
        "without a Microsoft ODBC driver the choice is SQL Server");
}

}  // namespace

int main() {
  CheckWestern();
  CheckDoubleByte();
  CheckNames();
  CheckEnv();
  CheckSqlServerDriverChoice();
  std::printf("platform checks=%d failures=%d\n", g_checks, g_failures);
  return g_failures == 0 ? 0 : 1;
}
