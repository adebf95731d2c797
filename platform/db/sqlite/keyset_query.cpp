#include "platform/db/sqlite/keyset_query.h"

#include "platform/error.h"

namespace wq::db::sqlite {
namespace {

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

bool IsNameChar(char16_t c) {
  return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
         c == u'_' || c == u'$' || c >= 0x80;
}

class Cursor {
 public:
  explicit Cursor(TextView text) : text_(text) {}

  void SkipBlanks() {
    while (pos_ < text_.size() && IsBlank(text_[pos_])) ++pos_;
  }
  // Takes the keyword (upper case) if it stands next, as a whole word.
  bool Keyword(TextView word) {
    SkipBlanks();
    if (text_.size() - pos_ < word.size()) return false;
    if (!EqualsIgnoreCase(text_.substr(pos_, word.size()), word)) return false;
    const size_t after = pos_ + word.size();
    if (after < text_.size() && IsNameChar(text_[after])) return false;
    pos_ = after;
    return true;
  }
  bool Symbol(char16_t c) {
    SkipBlanks();
    if (pos_ >= text_.size() || text_[pos_] != c) return false;
    ++pos_;
    return true;
  }
  bool Identifier(Text& name) {
    SkipBlanks();
    if (pos_ >= text_.size()) return false;
    const char16_t open = text_[pos_];
    const char16_t close = open == u'[' ? u']' : open;
    if (open == u'"' || open == u'`' || open == u'[') {
      for (size_t i = pos_ + 1; i < text_.size(); ++i) {
        if (text_[i] != close) {
          name.push_back(text_[i]);
        } else if (close != u']' && i + 1 < text_.size() && text_[i + 1] == close) {
          name.push_back(close);
          ++i;
        } else {
          pos_ = i + 1;
          return !name.empty();
        }
      }
      return false;
    }
    if (open >= u'0' && open <= u'9') return false;
    size_t end = pos_;
    while (end < text_.size() && IsNameChar(text_[end])) ++end;
    name = Text(text_.substr(pos_, end - pos_));
    pos_ = end;
    return !name.empty();
  }
  bool AtEnd() {
    SkipBlanks();
    while (pos_ < text_.size() && text_[pos_] == u';') {
      ++pos_;
      SkipBlanks();
    }
    return pos_ == text_.size();
  }
  size_t position() const { return pos_; }
  void set_position(size_t pos) { pos_ = pos; }

 private:
  TextView text_;
  size_t pos_ = 0;
};

}  // namespace

KeysetQuery ParseKeysetQuery(TextView sql) {
  Cursor cursor(sql);
  KeysetQuery query;
  if (!cursor.Keyword(u"SELECT") || !cursor.Symbol(u'*') || !cursor.Keyword(u"FROM") ||
      !cursor.Identifier(query.table)) {
    throw Error::InvalidProcedureCall(
        "a keyset result needs a query of the form SELECT * FROM <table> [WHERE ...]");
  }
  const size_t name_end = cursor.position();
  if (cursor.AtEnd()) return query;
  cursor.set_position(name_end);
  if (!cursor.Keyword(u"WHERE") && !(cursor.Keyword(u"ORDER") && cursor.Keyword(u"BY"))) {
    throw Error::InvalidProcedureCall(
        "a keyset result reads one table: only WHERE and ORDER BY may follow its name");
  }
  query.tail = Text(sql.substr(name_end));
  return query;
}

}  // namespace wq::db::sqlite
