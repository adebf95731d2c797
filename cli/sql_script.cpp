#include "cli/sql_script.h"

#include <string>

#include "platform/error.h"

namespace wq::cli {
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
  } else if (c == u'\'' || c == u'"' || c == u'[') {
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

std::vector<Text> SplitStatements(TextView script) {
  std::vector<Text> statements;
  Text current;
  const auto finish = [&] {
    const TextView statement = TrimBlanks(current);
    if (!statement.empty()) statements.emplace_back(statement);
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

}  // namespace wq::cli
