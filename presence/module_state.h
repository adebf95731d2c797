// The per-thread module state: the workstation name and the shared clsRC4 instance. Each thread
// gets its own pair, filled at first use and released when the thread ends, or for all threads
// at once by ReleaseModuleStates before the module unloads.
#pragma once

#include <cstddef>

#include "crypto/rc4.h"
#include "platform/text/text.h"

namespace wq::presence {

// This thread's workstation name (ReadWorkstationName of Env::Default()), read at the first use.
// Raises invalid procedure call when the computer name comes back empty; a failed read is not
// stored, so the next use tries again.
const Text& WorkstationName();

// This thread's shared cipher, created at the first use. It is the one instance that seals and
// unseals every payload on this thread.
clsRC4& SharedRC4();

// Releases the module state of every thread (each starts empty again at its next use) and says
// how many there were. Only while no call runs on any thread: the module is about to unload.
size_t ReleaseModuleStates();

}  // namespace wq::presence
