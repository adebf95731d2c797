// The in-process server: the four exported entry points and the class object of clsQuorrel.
#include <atomic>
#include <new>

#include "frame/descriptor.h"
#include "frame/method_body.h"
#include "frame/module_lock.h"
#include "frame/quorrel.h"
#include "frame/registry.h"
#include "platform/db/idle_connections.h"

#if defined(_WIN32)
#define WQ_EXPORT
#else
#define WQ_EXPORT __attribute__((visibility("default")))
#endif

namespace wq::frame {
namespace {

// Decrements a count that a careless host might release once too often, never below zero.
ULONG DecrementToZero(std::atomic<ULONG>& count) {
  ULONG current = count.load();
  while (current > 0 && !count.compare_exchange_weak(current, current - 1)) {
  }
  return current > 0 ? current - 1 : 0;
}

std::atomic<ULONG> live_instances{0};
std::atomic<ULONG> server_locks{0};

// The one class object. It lives as long as the module; references to it still keep the
// module loaded, so it is not unloaded under a host that holds it.
class ClassObject final : public IClassFactory {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override {
    if (ppvObject == nullptr) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
      *ppvObject = static_cast<IClassFactory*>(this);
      AddRef();
      return S_OK;
    }
    *ppvObject = nullptr;
    return E_NOINTERFACE;
  }

  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override { return DecrementToZero(references_); }

  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pUnkOuter, REFIID riid,
                                           void** ppvObject) override {
    if (ppvObject == nullptr) return E_POINTER;
    *ppvObject = nullptr;
    if (pUnkOuter != nullptr) return CLASS_E_NOAGGREGATION;
    auto* object = new (std::nothrow) clsQuorrel();
    if (object == nullptr) return E_OUTOFMEMORY;
    // The new instance starts with one reference; the query adds the caller's, and releasing
    // ours leaves the caller's alone (or frees the object when the query failed).
    const HRESULT hr = object->QueryInterface(riid, ppvObject);
    object->Release();
    return hr;
  }

  HRESULT STDMETHODCALLTYPE LockServer(BOOL fLock) override {
    if (fLock) {
      ++server_locks;
    } else {
      DecrementToZero(server_locks);
    }
    return S_OK;
  }

  bool Referenced() const { return references_.load() > 0; }

 private:
  std::atomic<ULONG> references_{0};
};

ClassObject class_object;

}  // namespace

void AddModuleReference() noexcept { ++live_instances; }
void ReleaseModuleReference() noexcept { DecrementToZero(live_instances); }

bool ModuleInUse() noexcept {
  return live_instances.load() > 0 || server_locks.load() > 0 || class_object.Referenced();
}

}  // namespace wq::frame

extern "C" WQ_EXPORT HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID rclsid, REFIID riid,
                                                              LPVOID* ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  if (!IsEqualCLSID(rclsid, wq::frame::kClsidQuorrel)) return CLASS_E_CLASSNOTAVAILABLE;
  return wq::frame::class_object.QueryInterface(riid, ppv);
}

extern "C" WQ_EXPORT HRESULT STDAPICALLTYPE DllCanUnloadNow() {
  if (wq::frame::ModuleInUse()) return S_FALSE;
  // The host may unload the module now: nothing of it may stay behind, neither server
  // connections, the ODBC environment, the pool's reaper thread, nor any thread's module state.
  // No call runs (no object lives), so nothing is in use; a later call starts afresh.
  wq::db::ReleaseIdleConnections();
  wq::frame::body::ReleaseModuleStates();
  return S_OK;
}

extern "C" WQ_EXPORT HRESULT STDAPICALLTYPE DllRegisterServer() {
  return wq::frame::RegisterServer();
}

extern "C" WQ_EXPORT HRESULT STDAPICALLTYPE DllUnregisterServer() {
  return wq::frame::UnregisterServer();
}
