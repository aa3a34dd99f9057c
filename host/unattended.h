// Unattended runs of a program that hosts the control (screenshots, the
// end-to-end tests): two environment variables, read when a control is made,
// both off unless set.
//   VANT_UNATTENDED=1     the first OK/Cancel question (the analysis
//                         question) is answered OK; every other dialog goes
//                         to the user as usual.
//   VANT_HOLD_SCAN_MS=N   once an OK/Cancel question is answered OK, the next
//                         processing of messages lasts N milliseconds, still
//                         painting, so the analysis's progress panel can be
//                         looked at.
#pragma once

#include <memory>

#include "platform/win32/win32_toolkit.h"

namespace vant::host {

// The control's toolkit, its form built as a child of `parent`: the plain
// one, or one that honours the variables above when either is set.
std::unique_ptr<win32::Toolkit> MakeToolkit(HWND parent);

}  // namespace vant::host
