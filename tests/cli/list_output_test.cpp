// The list command's output formats and the schema script splitter, with hostile texts.
#include "cli/list_output.h"

#include <gtest/gtest.h>

#include "cli/json.h"
#include "cli/schema.h"
#include "platform/error.h"

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
  EXPECT_EQ(RecordsAsJson(records),
            "[\n"
            R"(  {"id": 5, "workstation": "PC-\"7\"", "time": "2026-3-7 9:05:02", )"
            R"("module": "A'\n", "login": true, "kind": "own"},)"
            "\n"
            R"(  {"id": "x1", "workstation": null, "time": null, "module": null, )"
            R"("login": false, "kind": "unreadable"},)"
            "\n"
            R"(  {"id": null, "workstation": "", "time": "", "module": "", "login": false, )"
            R"("kind": "damaged"})"
            "\n]\n");
  EXPECT_EQ(RecordsAsJson({}), "[]\n");
}

TEST(RecordsAsTable, AlignsWideCharactersAndNeutralisesControls) {
  const std::vector<PresenceRow> records = {
      Row(db::Value(int64_t{12}), u"工作站", u"t", u"M", true, RecordKind::kLive),
      Row(db::Value(3.0), u"\x1b[31mX\r", u"", nullptr, false, RecordKind::kDamaged)};
  EXPECT_EQ(RecordsAsTable(records),
            "ID  WORKSTATION  TIME  MODULE  LOGIN  KIND\n"
            "12  工作站       t     M       yes    live\n"
            "3   ?[31mX?            -       no     damaged\n");
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
