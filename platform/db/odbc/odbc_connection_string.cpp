#include "platform/db/odbc/odbc_connection_string.h"

#include "platform/error.h"

namespace wq::db::odbc {
namespace {

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }

TextView TrimBlanks(TextView s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

}  // namespace

Text OdbcValue(TextView literal) {
  bool braces = !literal.empty() && (IsBlank(literal.front()) || IsBlank(literal.back()));
  for (char16_t c : literal) {
    if (c == u'\0') {
      throw Error::InvalidProcedureCall("a connection string value holds a NUL character");
    }
    if (c == u';' || c == u'{' || c == u'}') braces = true;
  }
  if (!braces) return Text(literal);
  Text out = u"{";
  for (char16_t c : literal) {
    out += c;
    if (c == u'}') out += u'}';
  }
  out += u'}';
  return out;
}

void AppendOdbcPair(Text& out, TextView key, TextView literal) {
  if (!out.empty() && out.back() != u';') out += u';';
  out += key;
  out += u'=';
  out += OdbcValue(literal);
}

OdbcPairs ParseOdbcConnectionString(TextView text) {
  OdbcPairs pairs;
  size_t i = 0;
  while (i < text.size()) {
    if (text[i] == u';' || IsBlank(text[i])) {
      ++i;
      continue;
    }
    size_t eq = text.find(u'=', i);
    size_t semi = text.find(u';', i);
    if (eq == TextView::npos || (semi != TextView::npos && semi < eq)) {
      throw Error::InvalidProcedureCall("ODBC connection string: a keyword has no '='");
    }
    Text key(TrimBlanks(text.substr(i, eq - i)));
    i = eq + 1;
    while (i < text.size() && IsBlank(text[i])) ++i;
    Text value;
    if (i < text.size() && text[i] == u'{') {
      ++i;
      bool closed = false;
      while (i < text.size()) {
        if (text[i] == u'}') {
          if (i + 1 < text.size() && text[i + 1] == u'}') {
            value += u'}';
            i += 2;
            continue;
          }
          ++i;
          closed = true;
          break;
        }
        value += text[i++];
      }
      if (!closed) {
        throw Error::InvalidProcedureCall("ODBC connection string: a '{' is not closed");
      }
      while (i < text.size() && IsBlank(text[i])) ++i;
      if (i < text.size() && text[i] != u';') {
        throw Error::InvalidProcedureCall("ODBC connection string: text follows a closing '}'");
      }
    } else {
      size_t end = text.find(u';', i);
      if (end == TextView::npos) end = text.size();
      value = Text(text.substr(i, end - i));
      i = end;
    }
    pairs.emplace_back(std::move(key), std::move(value));
  }
  return pairs;
}

bool IsSecretKey(TextView key) {
  return EqualsIgnoreCase(key, u"PWD") || EqualsIgnoreCase(key, u"Password");
}

}  // namespace wq::db::odbc
