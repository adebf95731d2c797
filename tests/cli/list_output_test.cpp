// The list command's output formats and the schema script splitter, with hostile texts.
#include "cli/list_output.h"

#include <gtest/gtest.h>

#include "cli/json.h"
#include "cli/schema.h"
#include "platform/error.h"

namespace wq::cli {
namespace {

using presence::ListedRecord;
using presence::RecordKind;

TEST(JsonString, EscapesEverythingThatCouldBreakTheDocument) {
  EXPECT_EQ(JsonString(u"plain"), R"("plain")");
  EXPECT_EQ(JsonString(u"a\"b\\c/d"), R"("a\"b\\c/d")");
  EXPECT_EQ(JsonString(u"\r\n\t\b\f"), R"("\r\n\t\b\f")");
  EXPECT_EQ(JsonString(Text(u"\0\x01\x1f\x7f", 4)), R"("\u0000\u0001\u001f\u007f")");
  EXPECT_EQ(JsonString(u"\u2028\u2029"), R"("\u2028\u2029")");
  EXPECT_EQ(JsonString(u"时间"), "\"时间\"");
  EXPECT_EQ(JsonString(Text(1, char16_t(0xD800))), "\"\xEF\xBF\xBD\"");  // lone surrogate
}

TEST(RecordsAsJson, ExactKeysAndNulls) {
  std::vector<ListedRecord> records(3);
  records[0] = {
      db::Value(int64_t{5}), Text(u"PC-\"7\""), Text(u"2026-3-7 9:05:02"), Text(u"A'\n"), true,
      RecordKind::kOwn};
  records[1] = {db::Value(u"x1"), std::nullopt, std::nullopt,
                std::nullopt,     false,        RecordKind::kUnreadable};
  records[2] = {db::Value(db::Null{}), Text(u""), Text(u""), Text(u""), false,
                RecordKind::kDamaged};
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
  std::vector<ListedRecord> records(2);
  records[0] = {db::Value(int64_t{12}), Text(u"工作站"), Text(u"t"), Text(u"M"), true,
                RecordKind::kLive};
  records[1] = {db::Value(int64_t{3}), Text(u"\x1b[31mX\r"), Text(u""), std::nullopt, false,
                RecordKind::kDamaged};
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
