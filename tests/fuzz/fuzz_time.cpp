// Time texts through the date test and the server-time formatting: a text the test accepts is
// formatted to one it accepts again, naming the same moment; formatting never fails on text.
#include "platform/error.h"
#include "presence/server_time.h"
#include "tests/fuzz/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace wq;
  const Text text = fuzz::AnyText(data, size);
  const std::optional<db::DateTime> date = presence::ParseDate(text);
  const Text formatted = presence::FormatServerTime(db::Value(text));
  if (!date) {
    if (formatted != text) fuzz::Violated("a text that is no date was changed");
    return 0;
  }
  const std::optional<db::DateTime> again = presence::ParseDate(formatted);
  if (!again || !(*again == *date)) fuzz::Violated("formatted date does not read back");
  if (presence::FormatServerTime(db::Value(*date)) != formatted) {
    fuzz::Violated("a date and its text format differently");
  }
  return 0;
}
