#include <new>

#include "frame/descriptor.h"
#include "frame/module_win.h"
#include "frame/type_info.h"

namespace wq::frame {
namespace {

// The description loaded from the module's own file; its destructor runs when the DLL unloads.
class LoadedTypeInfo {
 public:
  LoadedTypeInfo() {
    const std::wstring path = ModulePath();
    if (path.empty()) return;
    ITypeLib* library = nullptr;
    result_ = LoadTypeLibEx(path.c_str(), REGKIND_NONE, &library);
    if (FAILED(result_)) return;
    result_ = library->GetTypeInfoOfGuid(kIidQuorrel, &info_);
    library->Release();
  }
  ~LoadedTypeInfo() {
    if (info_ != nullptr) info_->Release();
  }
  LoadedTypeInfo(const LoadedTypeInfo&) = delete;
  LoadedTypeInfo& operator=(const LoadedTypeInfo&) = delete;

  HRESULT Get(ITypeInfo** info) const {
    if (FAILED(result_)) return result_;
    info_->AddRef();
    *info = info_;
    return S_OK;
  }

 private:
  ITypeInfo* info_ = nullptr;
  HRESULT result_ = TYPE_E_CANTLOADLIBRARY;
};

}  // namespace

UINT TypeInfoCount() noexcept { return 1; }

HRESULT QuorrelTypeInfo(ITypeInfo** info) noexcept {
  try {
    // Initialised once, by the first caller on any thread.
    static const LoadedTypeInfo loaded;
    return loaded.Get(info);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

}  // namespace wq::frame
