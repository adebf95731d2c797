#include "presence/module_state.h"

#include <algorithm>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <vector>

#include "platform/env/env.h"
#include "platform/env/workstation_name.h"
#include "platform/text/ansi.h"

namespace wq::presence {
namespace {

struct State {
  std::optional<Text> workstationName;
  std::unique_ptr<clsRC4> sharedRC4;
};

// Every thread's slot, so that the states of all threads can be released together before the
// module unloads (a thread's own slot releases its state when the thread ends).
struct Slot;
std::mutex slots_mutex;
// Never destroyed (a thread may end after the module's statics are gone), but kept in the
// module's own static storage, and its buffer given back when the last slot goes, so that an
// unloaded module leaves no memory behind.
std::vector<Slot*>& Slots() {
  alignas(std::vector<Slot*>) static unsigned char storage[sizeof(std::vector<Slot*>)];
  static auto* slots = new (storage) std::vector<Slot*>;
  return *slots;
}

struct Slot {
  std::unique_ptr<State> state;
  Slot() {
    std::lock_guard lock(slots_mutex);
    Slots().push_back(this);
  }
  ~Slot() {
    std::lock_guard lock(slots_mutex);
    std::erase(Slots(), this);
    if (Slots().empty()) std::vector<Slot*>().swap(Slots());
  }
  State& Get() {
    if (!state) {
      auto fresh = std::make_unique<State>();
      std::lock_guard lock(slots_mutex);
      state = std::move(fresh);
    }
    return *state;
  }
};

thread_local Slot t_slot;

}  // namespace

const Text& WorkstationName() {
  State& state = t_slot.Get();
  if (!state.workstationName) state.workstationName = ReadWorkstationName(Env::Default());
  return *state.workstationName;
}

clsRC4& SharedRC4() {
  State& state = t_slot.Get();
  if (!state.sharedRC4) state.sharedRC4 = std::make_unique<clsRC4>(AnsiCodePage::Process());
  return *state.sharedRC4;
}

size_t ReleaseModuleStates() {
  std::vector<std::unique_ptr<State>> released;
  {
    std::lock_guard lock(slots_mutex);
    for (Slot* slot : Slots()) {
      if (slot->state) released.push_back(std::move(slot->state));
    }
  }
  return released.size();
}

}  // namespace wq::presence
