// The list command's output formats and the schema script splitter, with hostile texts.
#include "cli/list_output.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>

#include "cli/command_errors.h"
#include "cli/json.h"
#include "cli/schema.h"
#include "cli/settings.h"
#include "cli/settings_file.h"
#include "cli/update_result.h"
#include "platform/error.h"
#include "tests/error_of.h"

namespace wq::cli {
namespace {

using presence::PresenceRow;
using presence::RecordKind;

PresenceRow Row(db::Value id, const char16_t* workstation, const char16_t* time,
                const char16_t* module, bool login, RecordKind kind) {
  PresenceRow r;
  r.number = presence::WholeNumber(id);
  r.id = std::move(id);
  r.workstation = workstation == nullptr ? Text() : Text(workstation);
  r.time = time == nullptr ? Text() : Text(time);
  r.module = module == nullptr ? Text() : Text(module);
  r.nullModule = module == nullptr;
  r.login = login;
  r.kind = kind;
  return r;
}

TEST(JsonString, EscapesEverythingThatCouldBreakTheDocument) {
  EXPECT_EQ(JsonString(u"plain"), R"("plain")");
  EXPECT_EQ(JsonString(u"a\"b\\c/d"), R"("a\"b\\c/d")");
  EXPECT_EQ(JsonString(u"\r\n\t\b\f"), R"("\r\n\t\b\f")");
  EXPECT_EQ(JsonString(Text(u"\0\x01\x1f\x7f", 4)), "\"\\u0000\\u0001\\u001f\x7f\"");
  EXPECT_EQ(JsonString(u"\u2028\u2029"), "\"\u2028\u2029\"");  // valid in JSON as they are
  EXPECT_EQ(JsonString(u"时间"), "\"时间\"");
  EXPECT_EQ(JsonString(Text(1, char16_t(0xD800))), "\"\xEF\xBF\xBD\"");  // lone surrogate
}

TEST(RecordsAsJson, ExactKeysAndNulls) {
  const std::vector<PresenceRow> records = {
      Row(db::Value(u"5"), u"PC-\"7\"", u"2026-3-7 9:05:02", u"A'\n", true, RecordKind::kOwn),
      Row(db::Value(u"x1"), nullptr, nullptr, nullptr, false, RecordKind::kUnreadable),
      Row(db::Value(db::Null{}), u"", u"", u"", false, RecordKind::kDamaged)};
  std::vector<PresenceRow> dated = records;
  dated[0].when = db::DateTime{2026, 3, 7, 9, 5, 2};
  EXPECT_EQ(RecordsAsJson(dated, db::DateTime{2026, 3, 7, 10, 5, 1}),
            "[\n"
            R"(  {"id": 5, "workstation": "PC-\"7\"", "time": "2026-3-7 9:05:02", )"
            R"("timeIso": "2026-03-07T09:05:02", "ageSeconds": 3599, )"
            R"("module": "A'\n", "login": true, "kind": "own"},)"
            "\n"
            R"(  {"id": "x1", "workstation": null, "time": null, "timeIso": null, )"
            R"("ageSeconds": null, "module": null, "login": null, "kind": "unreadable"},)"
            "\n"
            R"(  {"id": null, "workstation": "", "time": "", "timeIso": null, "ageSeconds": null, )"
            R"("module": "", "login": false, "kind": "damaged"})"
            "\n]\n");
  EXPECT_EQ(RecordsAsJson({}), "[]\n");
}

TEST(RecordsAsTable, AlignsWideCharactersAndNeutralisesControls) {
  const std::vector<PresenceRow> records = {
      Row(db::Value(int64_t{12}), u"工作站", u"t", u"M", true, RecordKind::kLive),
      Row(db::Value(3.0), u"\x1b[31mX\r", u"", nullptr, false, RecordKind::kDamaged)};
  std::vector<PresenceRow> dated = records;
  dated[0].when = db::DateTime{2026, 3, 7, 9, 5, 2};
  EXPECT_EQ(RecordsAsTable(dated, db::DateTime{2026, 3, 7, 9, 7, 3}),
            "ID  WORKSTATION  TIME  AGE     MODULE  LOGIN  KIND\n"
            "12  工作站       t     2m 01s  M       yes    live\n"
            "3   ?[31mX?            -       (none)  no     damaged\n");
}

TEST(AgeText, ReadsAsAPersonWouldSayIt) {
  const std::pair<int64_t, const char*> cases[] = {
      {0, "0s"},         {59, "59s"},      {60, "1m 00s"},
      {3599, "59m 59s"}, {3600, "1h 00m"}, {86399, "23h 59m"},
      {86400, "1d 00h"}, {-42, "-42s"},    {INT64_MIN, "-106751991167300d 15h"},
  };
  for (const auto& [seconds, text] : cases) EXPECT_EQ(AgeText(seconds), text) << seconds;
}

// The settings file is read alike by systemd, a shell and the command, or refused: each hostile
// line names its number and never quotes the value (it may be a password).
TEST(ParseSettings, ReadsTheCommonFormAndRefusesTheRest) {
  const auto parsed = ParseSettings(
      "# comment\n\n  \t# indented comment\nA=bare/v:1,2@x%+=-\n  B='x;y {z} \"q\" #h'  \n"
      "C=\nD=''\nA=again\nE='ünï'",
      "f");
  ASSERT_EQ(parsed.size(), 6u);
  EXPECT_EQ(parsed[0].value, "bare/v:1,2@x%+=-");
  EXPECT_EQ(parsed[1].name, "B");
  EXPECT_EQ(parsed[1].value, "x;y {z} \"q\" #h");
  EXPECT_EQ(parsed[1].line, 5);
  EXPECT_EQ(parsed[2].value, "");
  EXPECT_EQ(parsed[3].value, "");
  EXPECT_EQ(parsed[4].value, "again");
  EXPECT_EQ(parsed[5].value, "ünï");
  EXPECT_TRUE(ParseSettings("", "f").empty());

  // A POSIX shell reads the accepted text, and the shipped file, to the same values.
  const auto shellValues = [](const std::string& text) {
    const std::string file = ::testing::TempDir() + "/settings.env";
    std::ofstream(file, std::ios::binary) << text;
    const std::vector<Setting> settings = ParseSettings(text, file);
    std::map<std::string, std::string> last;  // the last line for a name wins in both readers
    for (const Setting& setting : settings) last[setting.name] = setting.value;
    std::string names, ours;
    for (const auto& [name, value] : last) {
      names += " \"$" + name + "\"";
      ours += value + "|";
    }
    FILE* sh = popen(("sh -c '. \"$0\"; printf \"%s|\" " + names + "' " + file).c_str(), "r");
    std::string out;
    for (int c; (c = std::fgetc(sh)) != EOF;) out.push_back(static_cast<char>(c));
    EXPECT_EQ(pclose(sh), 0);
    EXPECT_EQ(out, ours) << text;
  };
  shellValues(
      "# comment\nA=bare/v:1,2@x%+=-\n  B='x;y {z} \"q\" #h ` ~ * ?'  \nC=\nA=again\nE='ünï'\n");
  std::ifstream shipped(WQ_SETTINGS_EXAMPLE);
  ASSERT_TRUE(shipped) << WQ_SETTINGS_EXAMPLE;
  std::ostringstream text;
  text << shipped.rdbuf();
  ASSERT_FALSE(ParseSettings(text.str(), "shipped").empty());
  shellValues(text.str());

  const std::pair<std::string, std::string> refused[] = {
      {"A=x;UID=secret", "line 1: the value of A needs single quotes"},
      {"\nA=Driver={PostgreSQL Unicode}", "line 2: the value of A needs single quotes"},
      {"A=\"secret\"", "needs single quotes"},
      {"A='secret", "not closed"},
      {"A='sec'ret'", "only blanks may follow"},
      {"A='se$cret'", "'$'"},
      {"A='se\\cret'", "'\\'"},
      {"A='secret'\r\n", "carriage return"},
      {std::string("A='sec\0ret'", 11), "control character"},
      {"A='sec\x1b[2Jret'", "control character"},
      {"A='sec\xffret'", "not UTF-8"},
      {"A='sec\xed\xa0\x80'", "not UTF-8"},
      {"A='\xc0\xaf'", "not UTF-8"},
      {"export A=secret", "expected '=' right after the name export"},
      {"A = secret", "expected '=' right after the name A"},
      {"1A=secret", "expected NAME="},
      {"=secret", "expected NAME="},
      {"; comment", "expected NAME="},
      {"A=secret\\", "needs single quotes"},
      {"A=$(reboot)", "needs single quotes"},
      {"A=secret x", "needs single quotes"},
  };
  for (const auto& [text, mentions] : refused) {
    try {
      ParseSettings(text, "site.env");
      ADD_FAILURE() << "accepted: " << text;
    } catch (const Error& e) {
      const std::string what = e.what();
      EXPECT_NE(what.find("site.env, line "), std::string::npos) << what;
      EXPECT_NE(what.find(mentions), std::string::npos) << what;
      EXPECT_EQ(what.find("secret"), std::string::npos) << what;
    }
  }
}

// What the command says about an error, and its exit status.
TEST(Explain, SaysWhatToDoAndKeepsNumbersForVerbose) {
  struct Case {
    std::shared_ptr<Error> error;  // the error as thrown, not a sliced copy
    std::string said;
    int status;
  };
  const Case cases[] = {
      {std::make_shared<Error>(Error::InvalidProcedureCall("bad duration")), "bad duration",
       kBadInput},
      {std::make_shared<Error>(kProviderError, "Cannot open the database: Type mismatch: x"),
       "Cannot open the database: x", kBadInput},
      {std::make_shared<Error>(
           Error::Database(1, "08001", "refused\n\tIs the server running? [08001]")),
       "refused\n  Is the server running? [08001]", kDatabaseFailure},
      {std::make_shared<Error>(
           Error::Database(7, "42P01", "relation \"systemsetting\" does not exist\x1b[2J")),
       "relation \"systemsetting\" does not exist?[2J (SQLSTATE 42P01)\n  The register has no "
       "table SystemSetting yet: run `webquorrel init` (with the same --conn or settings) to "
       "create it.",
       kDatabaseFailure},
      {std::make_shared<Error>(Error::Database(8, "", "attempt to write a readonly database")),
       "attempt to write a readonly database\n  This user may not do that: run the command as a "
       "user with access (see the register with --verbose).",
       kNoPermission},
      {std::make_shared<Error>(Error::Database(1, "28P01", "password authentication failed")),
       "password authentication failed (SQLSTATE 28P01)\n  This user may not do that: run the "
       "command as a user with access (see the register with --verbose).",
       kNoPermission},
      {std::make_shared<FileAccessError>("cannot read f: Is a directory"),
       "cannot read f: Is a directory\n  This user may not do that: run the command as a user "
       "with access (see the register with --verbose).",
       kNoPermission},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Explain(*c.error), c.said);
    EXPECT_EQ(ExitStatusFor(*c.error), c.status) << c.said;
  }
  SetVerbose(true);
  EXPECT_EQ(Explain(Error::TypeMismatch("x")), "Type mismatch: x [error 13]");
  SetVerbose(false);
  EXPECT_TRUE(Unrecoverable(Error(kProviderError,
                                  "Cannot open the database: the provider 'X' "
                                  "is not supported")));
  EXPECT_FALSE(Unrecoverable(Error::Database(1, "08001", "Cannot open the database: refused")));
}

// A failed update's error, copied into its result and thrown again by the command, is still what
// it was: the database part (SQLSTATE, native code) and with it the exit status.
TEST(ThrowFailureOf, KeepsTheErrorAndItsExitStatus) {
  presence::UpdateResult r;
  r.error = Error::Database(7, "42P01", "relation does not exist");
  const Error thrown = ErrorOf([&] { ThrowFailureOf(r, "before: "); });
  EXPECT_TRUE(thrown.fromDatabase());
  EXPECT_EQ(thrown.number(), 7);
  EXPECT_EQ(thrown.sqlstate(), "42P01");
  EXPECT_EQ(thrown.description(), "before: relation does not exist");
  EXPECT_EQ(ExitStatusFor(thrown), kDatabaseFailure);
  // The component's own errors: an unusable connection string stays bad input where asked to;
  // anything else is a failure of the register.
  r.error = Error(kInvalidProcedureCall, "Cannot open the database: no provider");
  EXPECT_EQ(ExitStatusFor(ErrorOf([&] { ThrowFailureOf(r); })), kBadInput);
  EXPECT_EQ(ExitStatusFor(ErrorOf([&] { ThrowFailureOf(r, "", false); })), kDatabaseFailure);
  r.error = Error::TypeMismatch("ssID is not a whole number");
  EXPECT_EQ(ExitStatusFor(ErrorOf([&] { ThrowFailureOf(r); })), kDatabaseFailure);
}

TEST(SplitSqlScript, SplitsOnlyAtStatementEnds) {
  EXPECT_EQ(SplitSqlScript("-- a; comment\nCREATE TABLE t (a TEXT DEFAULT 'x;y''z');\n"
                           "/* b; */ CREATE INDEX i ON t (\"we;ird\") ;  ;\n-- tail"),
            (std::vector<std::string>{"CREATE TABLE t (a TEXT DEFAULT 'x;y''z')",
                                      "CREATE INDEX i ON t (\"we;ird\")"}));
  EXPECT_TRUE(SplitSqlScript("").empty());
  EXPECT_THROW(SplitSqlScript("SELECT 'open"), Error);
  EXPECT_THROW(SplitSqlScript("SELECT [open"), Error);
  EXPECT_THROW(SplitSqlScript("SELECT 1; /* open"), Error);
}

TEST(SchemaScript, SqliteCreatesTheTableAndIndexOnlyWhenMissing) {
  const auto statements = SplitSqlScript(SchemaScript("sqlite"));
  ASSERT_EQ(statements.size(), 2u);
  EXPECT_EQ(statements[0].rfind("CREATE TABLE IF NOT EXISTS SystemSetting", 0), 0u);
  EXPECT_EQ(statements[1].rfind("CREATE INDEX IF NOT EXISTS", 0), 0u);
  EXPECT_THROW(SchemaScript("nosuchengine"), Error);
}

}  // namespace
}  // namespace wq::cli
