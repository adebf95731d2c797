// This DLL's own file on Windows.
#pragma once

#include <string>

namespace wq::frame {

// The full path of the DLL this code is linked into, however long; empty when it cannot be read.
std::wstring ModulePath();

}  // namespace wq::frame
