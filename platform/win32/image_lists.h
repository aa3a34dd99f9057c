// Image lists of the form's pictures (platform/icons), for the common controls.
#pragma once

#include "platform/win32/win32_api.h"

#include <span>

#include "platform/icons.h"

namespace vant::win32 {

// A masked 16 x 16 image list holding `pictures` in their order.
HIMAGELIST MakeImageList(std::span<const icons::Picture> pictures);

}  // namespace vant::win32
