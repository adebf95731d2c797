// Without a type library loader there is no type information; dispatch by name still works.
#include "frame/type_info.h"

namespace wq::frame {

UINT TypeInfoCount() noexcept { return 0; }

HRESULT QuorrelTypeInfo(ITypeInfo** /*info*/) noexcept { return DISP_E_BADINDEX; }

}  // namespace wq::frame
