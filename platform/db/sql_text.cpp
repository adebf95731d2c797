#include "platform/db/sql_text.h"

#include <string>

#include "platform/error.h"

namespace wq::db {
namespace {

bool IsSpace(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }
bool IsAsciiLetter(char16_t c) {
  return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'_';
}
bool IsAsciiNameChar(char16_t c) {
  return IsAsciiLetter(c) || (c >= u'0' && c <= u'9') || c == u'$';
}
bool IsWordChar(char16_t c) { return IsAsciiNameChar(c) || c >= 0x80; }

char16_t CloseOf(char16_t open) { return open == u'[' ? u']' : open; }

[[noreturn]] void NotOneStatement(const char* why) {
  throw Error::InvalidProcedureCall(std::string("only one SQL statement may be sent: ") + why);
}

[[noreturn]] void NotKeyset() {
  throw Error::InvalidProcedureCall(
      "a keyset result takes \"SELECT * FROM <table> [WHERE ...] [ORDER BY ...]\"");
}

// The next token that is not blank or a comment; false at the end.
bool NextSolid(SqlScanner& scan, SqlToken& token) {
  while (scan.Next(token)) {
    if (token.kind != SqlPiece::kSpace && token.kind != SqlPiece::kComment) return true;
  }
  return false;
}

bool IsKeyword(const SqlToken& token, TextView word) {
  return token.kind == SqlPiece::kWord && EqualsIgnoreCase(token.text, word);
}

bool IsNamePart(const SqlToken& token) {
  if (token.kind == SqlPiece::kName) return token.text.size() > 2;  // not empty
  if (token.kind != SqlPiece::kWord || !IsAsciiLetter(token.text[0])) return false;
  for (char16_t c : token.text) {
    if (!IsAsciiNameChar(c)) return false;
  }
  return true;
}

}  // namespace

bool SqlScanner::Next(SqlToken& token) {
  if (pos_ >= sql_.size()) return false;
  const size_t start = pos_;
  const char16_t c = sql_[pos_];
  const auto next_is = [&](char16_t n) { return pos_ + 1 < sql_.size() && sql_[pos_ + 1] == n; };
  if (IsSpace(c)) {
    while (pos_ < sql_.size() && IsSpace(sql_[pos_])) ++pos_;
    token.kind = SqlPiece::kSpace;
  } else if (c == u'-' && next_is(u'-')) {
    pos_ = sql_.find(u'\n', pos_);
    if (pos_ == TextView::npos) pos_ = sql_.size();
    token.kind = SqlPiece::kComment;
  } else if (c == u'/' && next_is(u'*')) {
    const size_t end = sql_.find(u"*/", pos_ + 2);
    if (end == TextView::npos) {
      throw Error::InvalidProcedureCall("a comment in the SQL text is not closed");
    }
    pos_ = end + 2;
    token.kind = SqlPiece::kComment;
  } else if (c == u'\'' || c == u'"' || c == u'[' || (c == u'`' && backticks_)) {
    const char16_t close = CloseOf(c);
    for (++pos_;; ++pos_) {
      if (pos_ >= sql_.size()) {
        throw Error::InvalidProcedureCall("a quote in the SQL text is not closed");
      }
      if (sql_[pos_] != close) continue;
      if (pos_ + 1 < sql_.size() && sql_[pos_ + 1] == close) {
        ++pos_;  // a doubled closing character stands for one
        continue;
      }
      break;
    }
    ++pos_;
    token.kind = c == u'\'' ? SqlPiece::kString : SqlPiece::kName;
  } else if (IsWordChar(c)) {
    while (pos_ < sql_.size() && IsWordChar(sql_[pos_])) ++pos_;
    token.kind = SqlPiece::kWord;
  } else {
    ++pos_;
    token.kind = c == u';' ? SqlPiece::kEnd : SqlPiece::kOther;
  }
  token.begin = start;
  token.text = sql_.substr(start, pos_ - start);
  return true;
}

TextView SingleStatement(TextView sql, bool backtickNames) {
  if (sql.find(u'\0') != TextView::npos) NotOneStatement("the text holds a NUL character");
  SqlScanner scan(sql, backtickNames);
  bool statement = false;  // something other than blanks and comments seen
  bool ended = false;      // a ';' closed the statement
  size_t end = sql.size();
  SqlToken token;
  while (NextSolid(scan, token)) {
    if (ended) NotOneStatement("text follows a ';'");
    if (token.kind == SqlPiece::kEnd) {
      if (!statement) NotOneStatement("an empty statement");
      ended = true;
      end = token.begin;
    }
    statement = true;
  }
  if (!statement) NotOneStatement("there is no statement");
  return sql.substr(0, end);
}

std::vector<Text> SplitStatements(TextView script) {
  std::vector<Text> statements;
  Text current;
  const auto finish = [&] {
    const size_t first = current.find_first_not_of(u" \t\r\n");
    if (first != Text::npos) {
      const size_t last = current.find_last_not_of(u" \t\r\n");
      statements.push_back(current.substr(first, last - first + 1));
    }
    current.clear();
  };
  SqlScanner scan(script);
  SqlToken token;
  while (scan.Next(token)) {
    if (token.kind == SqlPiece::kEnd) {
      finish();
    } else if (token.kind == SqlPiece::kComment) {
      current.push_back(u' ');
    } else {
      current.append(token.text);
    }
  }
  finish();
  return statements;
}

KeysetSource ParseKeysetSource(TextView sql, bool backtickNames) {
  const TextView statement = SingleStatement(sql, backtickNames);
  SqlScanner scan(statement, backtickNames);
  SqlToken token;
  if (!NextSolid(scan, token) || !IsKeyword(token, u"SELECT")) NotKeyset();
  if (!NextSolid(scan, token) || token.text != u"*") NotKeyset();
  if (!NextSolid(scan, token) || !IsKeyword(token, u"FROM")) NotKeyset();
  KeysetSource source;
  if (!NextSolid(scan, token) || !IsNamePart(token)) NotKeyset();
  const size_t begin = token.begin;
  source.parts.push_back(token.text);
  size_t end = begin + token.text.size();
  bool more = scan.Next(token);
  if (more && token.text == u".") {  // schema.name, with nothing between
    if (!scan.Next(token) || !IsNamePart(token)) NotKeyset();
    source.parts.push_back(token.text);
    end = token.begin + token.text.size();
    more = scan.Next(token);
  }
  source.table = statement.substr(begin, end - begin);
  source.tail = statement.substr(end);
  if (more && (token.kind == SqlPiece::kSpace || token.kind == SqlPiece::kComment)) {
    more = NextSolid(scan, token);
  }
  if (!more) {
    source.tail = {};
    return source;
  }
  if (IsKeyword(token, u"WHERE")) return source;
  if (IsKeyword(token, u"ORDER") && NextSolid(scan, token) && IsKeyword(token, u"BY")) {
    return source;
  }
  NotKeyset();
}

Text UnquoteName(TextView part) {
  if (part.empty()) return {};
  const char16_t open = part.front();
  if (open != u'"' && open != u'[' && open != u'`') return Text(part);
  const char16_t close = CloseOf(open);
  Text name;
  for (size_t i = 1; i + 1 < part.size(); ++i) {
    name.push_back(part[i]);
    if (part[i] == close) ++i;  // the doubled closing character
  }
  return name;
}

}  // namespace wq::db
