#include "platform/db/odbc/keyset_sql.h"

#include "platform/error.h"

namespace wq::db::odbc {
namespace {

bool IsSpace(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }
bool IsLetter(char16_t c) {
  return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'_';
}
bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

class Scanner {
 public:
  explicit Scanner(TextView s) : s_(s) {}
  bool SkipSpaces() {
    size_t start = i_;
    while (i_ < s_.size() && IsSpace(s_[i_])) ++i_;
    return i_ > start;
  }
  bool Keyword(TextView word) {
    if (s_.size() - i_ < word.size() || !EqualsIgnoreCase(s_.substr(i_, word.size()), word)) {
      return false;
    }
    size_t end = i_ + word.size();
    if (end < s_.size() && (IsLetter(s_[end]) || IsDigit(s_[end]))) return false;
    i_ = end;
    return true;
  }
  bool Char(char16_t c) {
    if (i_ < s_.size() && s_[i_] == c) {
      ++i_;
      return true;
    }
    return false;
  }
  bool Identifier(Text& out) {
    if (i_ >= s_.size() || !IsLetter(s_[i_])) return false;
    size_t start = i_;
    while (i_ < s_.size() && (IsLetter(s_[i_]) || IsDigit(s_[i_]))) ++i_;
    out += s_.substr(start, i_ - start);
    return true;
  }
  bool AtEnd() const { return i_ == s_.size(); }

 private:
  TextView s_;
  size_t i_ = 0;
};

[[noreturn]] void NotKeyset() {
  throw Error::InvalidProcedureCall(
      "a keyset result takes \"SELECT * FROM <table> [WHERE ...]\" with a plain table name");
}

}  // namespace

Text KeysetTable(TextView sql) {
  Scanner scan(sql);
  scan.SkipSpaces();
  if (!scan.Keyword(u"SELECT")) NotKeyset();
  scan.SkipSpaces();
  if (!scan.Char(u'*')) NotKeyset();
  scan.SkipSpaces();
  if (!scan.Keyword(u"FROM")) NotKeyset();
  if (!scan.SkipSpaces()) NotKeyset();
  Text table;
  if (!scan.Identifier(table)) NotKeyset();
  if (scan.Char(u'.')) {
    table += u'.';
    if (!scan.Identifier(table)) NotKeyset();
  }
  bool spaced = scan.SkipSpaces();
  if (scan.AtEnd()) return table;
  if (!spaced || !scan.Keyword(u"WHERE") || !scan.SkipSpaces()) NotKeyset();
  return table;
}

Text DescribeSql(TextView table) { return u"SELECT * FROM " + Text(table) + u" WHERE 1=0"; }

Text QuoteIdentifier(TextView name, char16_t open, char16_t close) {
  Text out(1, open);
  for (char16_t c : name) {
    out += c;
    if (c == close) out += c;
  }
  out += close;
  return out;
}

Text InsertSql(TextView table, const std::vector<Text>& quoted_columns) {
  Text sql = u"INSERT INTO " + Text(table);
  if (quoted_columns.empty()) return sql + u" DEFAULT VALUES";
  Text values;
  sql += u" (";
  for (size_t i = 0; i < quoted_columns.size(); ++i) {
    if (i > 0) {
      sql += u", ";
      values += u", ";
    }
    sql += quoted_columns[i];
    values += u'?';
  }
  return sql + u") VALUES (" + values + u")";
}

}  // namespace wq::db::odbc
