#include "cli/update_result.h"

#include <iostream>

#include "cli/command_errors.h"
#include "cli/connection_option.h"
#include "cli/system.h"
#include "cli/terminal_text.h"
#include "presence/module_state.h"

namespace wq::cli {

void ThrowFailureOf(const presence::UpdateResult& r, const std::string& before,
                    bool badInputApart) {
  const Error& e = *r.error;
  const std::string what = before + e.description();
  if (badInputApart && Unrecoverable(e)) throw Error(e.number(), what);
  // Every other failure is the register's, whatever raised it.
  throw Error::Database(e.number(), e.sqlstate(), what);
}

void WarnWhenNameIsCut() {
  static bool warned = false;
  if (warned) return;
  warned = true;
  const std::string uncut = UncutComputerName();
  std::string used;
  try {
    used = ToUtf8(presence::WorkstationName());
  } catch (const Error&) {
    return;  // the update reports it
  }
  // Only a cut: a name the code page spells otherwise is not this warning's business.
  if (used.empty() || uncut.size() <= used.size() || uncut.compare(0, used.size(), used) != 0) {
    return;
  }
  std::cerr << "webquorrel: warning: the workstation name " << QuotedPrintable(FromUtf8(uncut))
            << " is longer than 15 characters; the records carry "
            << QuotedPrintable(FromUtf8(used))
            << ", which another machine may share (set WEBQUORREL_COMPUTERNAME to a unique name "
               "of at most 15 characters)"
            << std::endl;
}

presence::UpdateResult RunOnRegister(const std::optional<std::string>& conn, int16_t state,
                                     const std::string& module, bool login) {
  presence::UpdateResult result;
  try {
    result = presence::UpdateOnlineState(PrepareConnection(conn), state, FromUtf8(module), login);
  } catch (...) {
    result = presence::CurrentFailure("");
  }
  WarnWhenNameIsCut();
  return result;
}

}  // namespace wq::cli
