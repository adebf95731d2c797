// The test double of the method body (frame/method_body.h).
#include "tests/frame/presence_stub.h"

#include "frame/method_body.h"

namespace wq::presence {
namespace stub {
namespace {

Call last_call;

void Mix(uint32_t* h, uint8_t byte) {
  *h ^= byte;
  *h *= 16777619u;
}

void MixUnit(uint32_t* h, char16_t unit) {
  Mix(h, static_cast<uint8_t>(unit & 0xFF));
  Mix(h, static_cast<uint8_t>(unit >> 8));
}

}  // namespace

const Call& LastCall() { return last_call; }

int32_t Checksum(const Text& conn, int16_t self_state, const Text& mod_name, bool mod_login) {
  uint32_t h = 2166136261u;
  for (char16_t c : conn) MixUnit(&h, c);
  MixUnit(&h, 0xFFFF);
  MixUnit(&h, static_cast<char16_t>(static_cast<uint16_t>(self_state)));
  for (char16_t c : mod_name) MixUnit(&h, c);
  MixUnit(&h, 0xFFFF);
  Mix(&h, mod_login ? 1 : 0);
  return static_cast<int32_t>(h & 0x7FFFFFFFu);
}

}  // namespace stub
}  // namespace wq::presence

namespace wq::frame::body {

namespace stub = presence::stub;

presence::UpdateResult UpdateOnlineState(const Text& gstrConnSystem, int16_t SelfState,
                                         const Text& ModName, bool ModLogin) {
  stub::last_call.conn = gstrConnSystem;
  stub::last_call.self_state = SelfState;
  stub::last_call.mod_name = ModName;
  stub::last_call.mod_login = ModLogin;
  ++stub::last_call.calls;
  presence::UpdateResult result;
  result.count = stub::Checksum(gstrConnSystem, SelfState, ModName, ModLogin);
  return result;
}

// The stub keeps no module state.
void ReleaseModuleStates() {}

}  // namespace wq::frame::body
