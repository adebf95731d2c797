#include "platform/env/workstation_name.h"

#include "platform/error.h"
#include "platform/text/ansi.h"

namespace wq {
namespace {

// Spaces only, as the buffer is filled with them: a tab or line break would be part of the name.
TextView TrimSpaces(TextView s) {
  while (!s.empty() && s.front() == u' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == u' ') s.remove_suffix(1);
  return s;
}

}  // namespace

Text ReadWorkstationName(Env& env) {
  const AnsiCodePage& codePage = AnsiCodePage::Process();
  // A buffer of 16 blanks in the code page; whatever the call leaves blank is trimmed below.
  Bytes buffer = codePage.Encode(Text(16, u' '));
  buffer.resize(16, ' ');
  // As on Windows, the call's result is not examined: a failure leaves the blanks.
  env.GetComputerNameA(reinterpret_cast<char*>(buffer.data()), 16);
  const Text decoded = codePage.Decode(buffer);
  TextView name = TrimSpaces(decoded);
  if (name.empty()) {
    throw Error::InvalidProcedureCall("the computer name is empty");
  }
  if (name.back() == u'\0') name.remove_suffix(1);
  // A name of a lone NUL would match every record whose name part is empty.
  if (name.empty()) throw Error::InvalidProcedureCall("the computer name is empty");
  return ToUpper(name);
}

}  // namespace wq
