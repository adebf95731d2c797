// Internal to wq_env: what env.cpp needs from the platform's own implementation.
#pragma once

#include "platform/env/env.h"

namespace wq::env_internal {

// The machine's real environment, alive for the whole process.
Env& PlatformEnv();

// Sends a message to the current notifier (the default one writes it to stderr).
void Notify(const Text& message);

}  // namespace wq::env_internal
