// Texts are counted UTF-16 strings, as BSTRs are at the COM boundary. UTF-8 is only used for
// what Linux hands us (arguments, environment, error descriptions).
#pragma once

#include <string>
#include <string_view>

namespace wq {

using Text = std::u16string;
using TextView = std::u16string_view;

// Strict UTF-8 decoding: a malformed sequence becomes U+FFFD, never a crash.
Text FromUtf8(std::string_view utf8);
// The same into out, whose storage is kept when it is large enough.
void AssignUtf8(Text& out, std::string_view utf8);
// Unpaired surrogates become U+FFFD.
std::string ToUtf8(TextView text);

// Upper case as the component compares names: every character that has a simple upper-case
// mapping in the Basic Latin, Latin-1, Latin Extended-A, Greek and Cyrillic blocks, others as
// they are (locale-independent, so all workstations agree).
Text ToUpper(TextView text);
bool EqualsIgnoreCase(TextView a, TextView b);

// The blanks around keys, values, numbers and statements in the texts read here: space, tab,
// carriage return and line feed.
inline bool IsBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }
// The text without its leading and trailing blanks.
TextView TrimBlanks(TextView text);

}  // namespace wq
