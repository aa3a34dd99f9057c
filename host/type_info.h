// The control's type information, read from the registered type library
// once per process (under the module's lock) and then kept.
#pragma once

#include "host/com_support.h"

namespace vant::host {

// The type information of `guid` (IVANT, the coclass, the events) from the
// registered type library; the loader's failure when it is not registered.
HRESULT RegisteredTypeInfo(REFGUID guid, ITypeInfo** out);

}  // namespace vant::host
