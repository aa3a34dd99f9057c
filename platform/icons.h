// The form's small pictures, drawn as pixel art in code so every platform
// (and every test) sees the same 16 x 16 images: the tree's ImageList2 and
// the lists' and stage marks' ImageList3.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

namespace vant::icons {

inline constexpr int Size = 16;

// One picture: 0xAARRGGBB pixels, rows top to bottom. Alpha is 0 (clear) or
// 255 (solid); clear pixels are all zero.
struct Picture {
  std::array<std::uint32_t, Size * Size> Pixels{};
  std::uint32_t At(int x, int y) const { return Pixels[static_cast<std::size_t>(y * Size + x)]; }
  bool Solid(int x, int y) const { return (At(x, y) >> 24) != 0; }
};

// ImageList2, 12 pictures: 0 folder, 1 fixed drive, 2 deleted folder, 3 open
// folder, 4 removable drive, 5 recycle bin, 6 the documents folder found on a
// drive, 7 computer, 8 desktop, 9 a folder holding papers, 10 lost items,
// 11 network drive.
std::span<const Picture> TreeImages();
// ImageList3, 5 pictures: 0 plain sheet, 1 sheet with a green tick, 2 sheet
// with a red cross, 3 green tick, 4 red arrow.
std::span<const Picture> FileImages();
// The pictures of the image list component called `name`; empty when the
// form has no pictures for it.
std::span<const Picture> ForImageList(std::string_view name);

// The palette the pictures are drawn with (also what tests look for).
namespace colour {
inline constexpr std::uint32_t Red = 0xFFE01010;
inline constexpr std::uint32_t Green = 0xFF10A020;
}  // namespace colour

}  // namespace vant::icons
