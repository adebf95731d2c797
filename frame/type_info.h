// The type information that clsQuorrel's IDispatch hands out: the description of _clsQuorrel
// from the type library that the DLL carries. Only Windows has the machinery to read it.
#pragma once

#include "platform/com/com.h"

namespace wq::frame {

// How many type descriptions IDispatch offers: 1 on Windows, 0 elsewhere.
UINT TypeInfoCount() noexcept;

// The ITypeInfo of _clsQuorrel, with a reference for the caller. It comes from this module's
// own type library resource (not from the registry, so it works before registration), read at
// most once per process and released when the module unloads. Fails with DISP_E_BADINDEX
// where there is no type information, or with the loader's result.
HRESULT QuorrelTypeInfo(ITypeInfo** info) noexcept;

}  // namespace wq::frame
