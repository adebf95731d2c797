// Small helpers for the frame's in-process tests.
#pragma once

#include <cstring>
#include <memory>

#include "platform/com/com.h"

namespace wq::frame::testing {

struct BstrDeleter {
  void operator()(OLECHAR* b) const { SysFreeString(b); }
};
using Bstr = std::unique_ptr<OLECHAR, BstrDeleter>;

inline Bstr MakeBstr(const char16_t* s) { return Bstr(SysAllocString(s)); }

inline VARIANT Var(VARTYPE vt) {
  VARIANT v;
  std::memset(&v, 0, sizeof v);
  v.vt = vt;
  return v;
}

// Releases an interface pointer at the end of a scope.
template <typename T>
struct ComPtr {
  T* p = nullptr;
  ComPtr() = default;
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  ~ComPtr() {
    if (p != nullptr) p->Release();
  }
  T* operator->() const { return p; }
  void** out() { return reinterpret_cast<void**>(&p); }
};

}  // namespace wq::frame::testing
