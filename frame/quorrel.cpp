#include "frame/quorrel.h"

#include <new>

#include "frame/coerce.h"
#include "frame/descriptor.h"
#include "frame/method_body.h"
#include "frame/module_lock.h"
#include "frame/trace.h"

namespace wq::frame {

clsQuorrel::clsQuorrel() noexcept { AddModuleReference(); }

clsQuorrel::~clsQuorrel() { ReleaseModuleReference(); }

HRESULT STDMETHODCALLTYPE clsQuorrel::QueryInterface(REFIID riid, void** ppvObject) {
  if (ppvObject == nullptr) return E_POINTER;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) ||
      IsEqualIID(riid, kIidQuorrel)) {
    *ppvObject = static_cast<_clsQuorrel*>(this);
    AddRef();
    return S_OK;
  }
  *ppvObject = nullptr;
  return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE clsQuorrel::AddRef() { return ++references_; }

ULONG STDMETHODCALLTYPE clsQuorrel::Release() {
  const ULONG left = --references_;
  if (left == 0) delete this;
  return left;
}

HRESULT STDMETHODCALLTYPE clsQuorrel::UpdateOnlineState(BSTR gstrConnSystem, SHORT* SelfState,
                                                        BSTR* ModName, VARIANT_BOOL* ModLogin,
                                                        LONG* result) {
  if (result == nullptr) return E_POINTER;
  *result = 0;
  // Copies of the arguments; the caller's by-reference values are only read.
  Text conn;
  Text module;
  try {
    conn = TextFromBstr(gstrConnSystem);
    if (ModName != nullptr) module = TextFromBstr(*ModName);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  const int16_t state = SelfState != nullptr ? *SelfState : 0;
  const bool login = ModLogin != nullptr && *ModLogin != VARIANT_FALSE;
  *result = RunUpdateOnlineState(conn, state, module, login);
  return S_OK;
}

int32_t RunUpdateOnlineState(const Text& gstrConnSystem, int16_t SelfState, const Text& ModName,
                             bool ModLogin) noexcept {
  try {
    const presence::UpdateResult r =
        body::UpdateOnlineState(gstrConnSystem, SelfState, ModName, ModLogin);
    // The host still sees only 0; the trace says why.
    if (r.error) TraceFailure(*r.error, r.step, gstrConnSystem);
    return r.count;
  } catch (...) {
    return 0;
  }
}

}  // namespace wq::frame
