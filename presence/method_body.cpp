// The shipped module's method body (frame/method_body.h): the presence update itself.
#include "frame/method_body.h"

#include "presence/module_state.h"
#include "presence/update.h"

namespace wq::frame::body {

presence::UpdateResult UpdateOnlineState(const Text& gstrConnSystem, int16_t SelfState,
                                         const Text& ModName, bool ModLogin) {
  return presence::UpdateOnlineState(gstrConnSystem, SelfState, ModName, ModLogin);
}

void ReleaseModuleStates() { presence::ReleaseModuleStates(); }

}  // namespace wq::frame::body
