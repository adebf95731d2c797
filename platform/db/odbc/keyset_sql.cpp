#include "platform/db/odbc/keyset_sql.h"

#include "platform/error.h"

namespace wq::db::odbc {
namespace {

bool IsSpace(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }
bool IsLetter(char16_t c) {
  return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'_';
}
bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }
bool IsNameChar(char16_t c) { return IsLetter(c) || IsDigit(c) || c == u'$'; }

[[noreturn]] void NotOneStatement(const char* why) {
  throw Error::InvalidProcedureCall(std::string("only one SQL statement may be sent: ") + why);
}

// Index just past the quoted text that starts at i (sql[i] is the opening character), where a
// doubled closing character stands for one; npos when it is not closed.
size_t SkipQuoted(TextView sql, size_t i, char16_t close) {
  for (++i; i < sql.size(); ++i) {
    if (sql[i] != close) continue;
    if (i + 1 < sql.size() && sql[i + 1] == close) {
      ++i;
      continue;
    }
    return i + 1;
  }
  return TextView::npos;
}

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
    if (end < s_.size() && IsNameChar(s_[end])) return false;
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
  // One part of a table name, appended as written.
  bool NamePart(Text& out) {
    if (i_ >= s_.size()) return false;
    size_t start = i_;
    char16_t open = s_[i_];
    if (open == u'"' || open == u'[') {
      size_t end = SkipQuoted(s_, i_, open == u'[' ? u']' : u'"');
      if (end == TextView::npos || end - start < 3) return false;  // unclosed or empty
      i_ = end;
    } else {
      if (!IsLetter(open)) return false;
      while (i_ < s_.size() && IsNameChar(s_[i_])) ++i_;
    }
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
      "a keyset result takes \"SELECT * FROM <table> [WHERE ...] [ORDER BY ...]\"");
}

}  // namespace

TextView SingleStatement(TextView sql) {
  bool statement = false;  // something other than blanks and comments seen
  bool ended = false;      // a ';' closed the statement
  size_t end = sql.size();
  for (size_t i = 0; i < sql.size();) {
    char16_t c = sql[i];
    if (c == u'\0') NotOneStatement("the text holds a NUL character");
    if (IsSpace(c)) {
      ++i;
      continue;
    }
    if (c == u'-' && i + 1 < sql.size() && sql[i + 1] == u'-') {
      while (i < sql.size() && sql[i] != u'\n') ++i;
      continue;
    }
    if (c == u'/' && i + 1 < sql.size() && sql[i + 1] == u'*') {
      size_t end = sql.find(u"*/", i + 2);
      if (end == TextView::npos) NotOneStatement("a comment is not closed");
      i = end + 2;
      continue;
    }
    if (ended) NotOneStatement("text follows a ';'");
    if (c == u';') {
      if (!statement) NotOneStatement("an empty statement");
      ended = true;
      end = i;
      ++i;
      continue;
    }
    statement = true;
    if (c == u'\'' || c == u'"' || c == u'[') {
      i = SkipQuoted(sql, i, c == u'[' ? u']' : c);
      if (i == TextView::npos) NotOneStatement("a quote is not closed");
      continue;
    }
    ++i;
  }
  if (!statement) NotOneStatement("there is no statement");
  return sql.substr(0, end);
}

Text KeysetTable(TextView sql) {
  Scanner scan(SingleStatement(sql));
  scan.SkipSpaces();
  if (!scan.Keyword(u"SELECT")) NotKeyset();
  scan.SkipSpaces();
  if (!scan.Char(u'*')) NotKeyset();
  scan.SkipSpaces();
  if (!scan.Keyword(u"FROM")) NotKeyset();
  scan.SkipSpaces();
  Text table;
  if (!scan.NamePart(table)) NotKeyset();
  if (scan.Char(u'.')) {
    table += u'.';
    if (!scan.NamePart(table)) NotKeyset();
  }
  bool spaced = scan.SkipSpaces();
  if (scan.AtEnd()) return table;
  if (!spaced && table.back() != u'"' && table.back() != u']') NotKeyset();
  if (scan.Keyword(u"WHERE")) return table;
  if (scan.Keyword(u"ORDER")) {
    scan.SkipSpaces();
    if (scan.Keyword(u"BY")) return table;
  }
  NotKeyset();
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
