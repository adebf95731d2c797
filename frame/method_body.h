// The method body: the only thing the frame knows of the presence code. clsQuorrel's
// UpdateOnlineState runs the update through it, and the module releases the threads' module state
// through it before it unloads; nothing else of the presence code is seen here.
//
// Which body answers is chosen when the module is linked: wq_update_body
// (presence/method_body.cpp, the presence update) for the shipped module, or
// wq_update_body_double (tests/frame/presence_stub.cpp) for the frame's own tests.
#pragma once

#include <cstdint>

#include "platform/text/text.h"
#include "presence/update_result.h"

namespace wq::frame::body {

// The update for UpdateOnlineState's arguments, on the calling thread's module state: the count
// of presence records, or why and in which step it failed. Every failure of the update lands in
// the result.
presence::UpdateResult UpdateOnlineState(const Text& gstrConnSystem, int16_t SelfState,
                                         const Text& ModName, bool ModLogin);

// Releases the module state of every thread, only while no call runs on any thread: the module
// is about to unload.
void ReleaseModuleStates();

}  // namespace wq::frame::body
