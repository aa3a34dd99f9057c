#include "platform/win32/image_lists.h"

#include <cstring>

namespace vant::win32 {
namespace {

// The colours of one picture in a 32-bpp DIB (clear pixels black, as a
// masked image list wants them).
HBITMAP ColourBitmap(const icons::Picture& picture) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = icons::Size;
  info.bmiHeader.biHeight = -icons::Size;  // top-down, as the pictures are drawn
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!bitmap) return nullptr;
  auto* pixels = static_cast<std::uint32_t*>(bits);
  for (std::size_t i = 0; i < picture.Pixels.size(); ++i) pixels[i] = picture.Pixels[i] & 0x00FFFFFF;
  return bitmap;
}

// The mask: one bit per pixel, set where the picture is clear; rows are
// padded to 16 bits.
HBITMAP MaskBitmap(const icons::Picture& picture) {
  std::uint8_t rows[icons::Size * 2] = {};
  for (int y = 0; y < icons::Size; ++y)
    for (int x = 0; x < icons::Size; ++x)
      if (!picture.Solid(x, y)) rows[y * 2 + x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
  return CreateBitmap(icons::Size, icons::Size, 1, 1, rows);
}

}  // namespace

HIMAGELIST MakeImageList(std::span<const icons::Picture> pictures) {
  HIMAGELIST list = ImageList_Create(icons::Size, icons::Size, ILC_COLOR24 | ILC_MASK,
                                     static_cast<int>(pictures.size()), 0);
  if (!list) return nullptr;
  for (const icons::Picture& picture : pictures) {
    HBITMAP colour = ColourBitmap(picture);
    HBITMAP mask = MaskBitmap(picture);
    ImageList_Add(list, colour, mask);
    DeleteObject(colour);
    DeleteObject(mask);
  }
  return list;
}

}  // namespace vant::win32
