#include "frame/module_win.h"

#include <windows.h>

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace wq::frame {

std::wstring ModulePath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(reinterpret_cast<HMODULE>(&__ImageBase), path.data(),
                                       static_cast<DWORD>(path.size()));
    if (n == 0) return {};
    if (n < path.size()) {
      path.resize(n);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

}  // namespace wq::frame
