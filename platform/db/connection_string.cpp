#include "platform/db/connection_string.h"

#include <string>

#include "platform/error.h"

namespace wq::db {
namespace {

size_t SkipBlanks(TextView text, size_t i) {
  while (i < text.size() && IsBlank(text[i])) ++i;
  return i;
}

enum class Fault {
  kNone,
  kMissingEquals,
  kEmptyKey,
  kUnterminatedQuote,
  kUnterminatedBrace,
  kTextAfterValue,
};

// One "key=value" segment as the scanner found it. The value range covers the value as written
// (quotes and braces included) so that Redact can replace it; value is its decoded form.
struct Segment {
  size_t begin = 0, end = 0;  // the whole segment, without its ';'
  size_t value_begin = 0, value_end = 0;
  Text key;
  Text value;
  Fault fault = Fault::kNone;
};

// Reads the segment that starts at i and leaves i after its ';' (or at the end). A malformed
// segment is still delimited as well as can be, so that Redact can hide it.
Segment ScanSegment(TextView text, size_t& i) {
  Segment s;
  s.begin = i;
  const size_t n = text.size();
  size_t eq = i;
  while (eq < n && text[eq] != u'=' && text[eq] != u';') ++eq;
  if (eq == n || text[eq] == u';') {
    s.end = eq;
    s.value_begin = s.begin;
    s.value_end = eq;
    s.fault = Fault::kMissingEquals;
    i = eq < n ? eq + 1 : eq;
    return s;
  }
  s.key = Text(TrimBlanks(text.substr(i, eq - i)));
  if (s.key.empty()) s.fault = Fault::kEmptyKey;

  size_t j = SkipBlanks(text, eq + 1);
  s.value_begin = j;
  const char16_t open = j < n ? text[j] : u'\0';
  if (open == u'"' || open == u'\'' || open == u'{') {
    const char16_t close = open == u'{' ? u'}' : open;
    bool closed = false;
    for (++j; j < n; ++j) {
      if (text[j] != close) {
        s.value.push_back(text[j]);
      } else if (j + 1 < n && text[j + 1] == close) {
        s.value.push_back(close);  // a doubled closing character stands for one
        ++j;
      } else {
        closed = true;
        ++j;
        break;
      }
    }
    if (!closed) {
      // The value runs to the end of the text.
      if (s.fault == Fault::kNone) {
        s.fault = open == u'{' ? Fault::kUnterminatedBrace : Fault::kUnterminatedQuote;
      }
      s.value_end = s.end = i = n;
      return s;
    }
    s.value_end = j;
    j = SkipBlanks(text, j);
    if (j < n && text[j] != u';') {
      if (s.fault == Fault::kNone) s.fault = Fault::kTextAfterValue;
      while (j < n && text[j] != u';') ++j;
      s.value_end = j;
    }
  } else {
    while (j < n && text[j] != u';') ++j;
    size_t end = j;
    while (end > s.value_begin && IsBlank(text[end - 1])) --end;
    s.value_end = end;
    s.value = Text(text.substr(s.value_begin, end - s.value_begin));
  }
  s.end = j;
  i = j < n ? j + 1 : j;
  return s;
}

bool IsEmptySegment(TextView text, const Segment& s) {
  return s.fault == Fault::kMissingEquals &&
         TrimBlanks(text.substr(s.begin, s.end - s.begin)).empty();
}

// Describes a fault by its position only: the text around it may be a password.
[[noreturn]] void Raise(Fault fault, size_t segment_number, const Text& key) {
  std::string what;
  switch (fault) {
    case Fault::kMissingEquals:
      what = "has no '=' between a key and a value";
      break;
    case Fault::kEmptyKey:
      what = "has an empty key";
      break;
    case Fault::kUnterminatedQuote:
      what = "has a quoted value without its closing quote";
      break;
    case Fault::kUnterminatedBrace:
      what = "has a {...} value without its closing brace";
      break;
    case Fault::kTextAfterValue:
      what = "has text after the closing quote or brace of its value";
      break;
    case Fault::kNone:
      break;
  }
  std::string where = "part " + std::to_string(segment_number);
  // Keys such as "Data Source" are named; anything else may be a misplaced value.
  if (IsNameableKey(key)) where += " (key '" + ToUtf8(key) + "')";
  throw Error::InvalidProcedureCall("Malformed connection string: " + where + " " + what);
}

}  // namespace

Text QuoteValue(TextView literal) {
  bool braces = !literal.empty() && (IsBlank(literal.front()) || IsBlank(literal.back()) ||
                                     literal.front() == u'"' || literal.front() == u'\'');
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

void AppendPair(Text& out, TextView key, TextView literal) {
  out += key;
  out += u'=';
  out += QuoteValue(literal);
  out += u';';
}

ConnectionString ConnectionString::Parse(TextView text) {
  ConnectionString result;
  size_t i = 0;
  size_t number = 0;
  while (i < text.size()) {
    Segment s = ScanSegment(text, i);
    if (IsEmptySegment(text, s)) continue;
    ++number;
    if (s.fault != Fault::kNone) Raise(s.fault, number, s.key);
    result.pairs_.emplace_back(std::move(s.key), std::move(s.value));
  }
  return result;
}

std::optional<Text> ConnectionString::Get(TextView key) const {
  const TextView wanted = TrimBlanks(key);
  for (auto it = pairs_.rbegin(); it != pairs_.rend(); ++it) {
    if (EqualsIgnoreCase(it->first, wanted)) return it->second;
  }
  return std::nullopt;
}

Text ConnectionString::Redact(TextView text) {
  Text out;
  size_t copied = 0;  // text before this position is already in out
  size_t i = 0;
  while (i < text.size()) {
    const Segment s = ScanSegment(text, i);
    if (IsEmptySegment(text, s)) continue;
    // A segment without '=' may be the tail of a password that held an unquoted ';'.
    if (s.fault == Fault::kMissingEquals || IsSecretKey(s.key)) {
      out.append(text.substr(copied, s.value_begin - copied));
      out.append(u"***");
      copied = s.value_end;
    }
  }
  out.append(text.substr(copied));
  return out;
}

}  // namespace wq::db
