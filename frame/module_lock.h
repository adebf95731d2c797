// What keeps the server loaded: live instances (counted here by their constructor and
// destructor), references to the class object and LockServer locks. DllCanUnloadNow answers
// success only when there are none.
#pragma once

namespace wq::frame {

void AddModuleReference() noexcept;
void ReleaseModuleReference() noexcept;
bool ModuleInUse() noexcept;

}  // namespace wq::frame
