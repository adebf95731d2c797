#include "cli/terminal_text.h"

namespace wq::cli {

std::string Printable(TextView text) {
  Text shown(text);
  for (char16_t& c : shown) {
    if (c < 0x20 || c == 0x7F || (c >= 0x80 && c <= 0x9F) || c == 0x2028 || c == 0x2029 ||
        (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069) || c == 0x200E ||
        c == 0x200F || c == 0x061C) {
      c = u'?';
    }
  }
  return ToUtf8(shown);
}

std::string QuotedPrintable(TextView text) { return "\"" + Printable(text) + "\""; }

}  // namespace wq::cli
