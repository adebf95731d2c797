// Internal to wq_host: what host.cpp needs from the platform's own implementation.
#pragma once

#include "platform/host/host.h"

namespace wq::host_internal {

// The machine's real host, alive for the whole process.
Host& PlatformHost();

// Sends a message to the current notifier (the default one writes it to stderr).
void Notify(const Text& message);

}  // namespace wq::host_internal
