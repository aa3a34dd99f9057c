// The control's interfaces and its four fixed GUIDs, as the type library
// (VANTProj1.idl, compiled by widl into the build folder) declares them.
#pragma once

#include "host/com_support.h"
#include "VANTProj1_h.h"

namespace vant::host {
using ::CLSID_VANT1;
using ::DIID_IVANTEvents;
using ::IID_IVANT;
using ::LIBID_VANTProj1;
}  // namespace vant::host
