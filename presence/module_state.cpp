#include "presence/module_state.h"

#include <memory>
#include <optional>

#include "platform/error.h"
#include "platform/host/host.h"
#include "platform/text/ansi.h"

namespace wq::presence {
namespace {

thread_local std::optional<Text> t_workstationName;
thread_local std::unique_ptr<clsRC4> t_sharedRC4;

TextView TrimBlanks(TextView s) {
  while (!s.empty() && s.front() == u' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == u' ') s.remove_suffix(1);
  return s;
}

}  // namespace

Text ReadWorkstationName() {
  const AnsiCodePage& codePage = AnsiCodePage::Process();
  // A buffer of 16 blanks in the code page; whatever the call leaves blank is trimmed below.
  Bytes buffer = codePage.Encode(Text(16, u' '));
  buffer.resize(16, ' ');
  // As on Windows, the call's result is not examined: a failure leaves the blanks.
  Host::Default().GetComputerNameA(reinterpret_cast<char*>(buffer.data()), 16);
  const Text decoded = codePage.Decode(buffer);
  TextView name = TrimBlanks(decoded);
  if (name.empty()) {
    throw Error::InvalidProcedureCall("the computer name is empty");
  }
  if (name.back() == u'\0') name.remove_suffix(1);
  // A name of a lone NUL would match every record whose name part is empty.
  if (name.empty()) throw Error::InvalidProcedureCall("the computer name is empty");
  return ToUpper(name);
}

const Text& WorkstationName() {
  if (!t_workstationName) t_workstationName = ReadWorkstationName();
  return *t_workstationName;
}

clsRC4& SharedRC4() {
  if (!t_sharedRC4) t_sharedRC4 = std::make_unique<clsRC4>(AnsiCodePage::Process());
  return *t_sharedRC4;
}

}  // namespace wq::presence
