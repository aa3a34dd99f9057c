#include "platform/icons.h"

#include <initializer_list>
#include <stdexcept>
#include <string>
#include <vector>

namespace vant::icons {
namespace {

// A picture is drawn as 16 rows of 16 letters, one letter per pixel; an
// overlay drawn the same way paints its non-'.' letters over a base picture.
using Grid = std::array<std::string_view, Size>;

std::uint32_t Ink(char letter) {
  switch (letter) {
    case '.': return 0x00000000;  // clear
    case 'k': return 0xFF202020;  // outline
    case 'y': return 0xFFF0C850;  // folder
    case 'l': return 0xFFFFE8A0;  // folder, lit edge
    case 'Y': return 0xFFB88A20;  // folder, shade
    case 'w': return 0xFFFFFFFF;
    case 'g': return 0xFFC8C8C8;
    case 'G': return 0xFF808080;
    case 'r': return colour::Red;
    case 'e': return colour::Green;
    case 'E': return 0xFF087010;  // dark green
    case 'b': return 0xFF3070E0;  // blue
    case 'c': return 0xFFA0D0FF;  // sky
    case 'p': return 0xFF8090B0;  // writing on paper
    default: throw std::logic_error(std::string("icons: no ink for letter '") + letter + "'");
  }
}

void Paint(Picture& picture, const Grid& grid, bool overlay) {
  for (int y = 0; y < Size; ++y) {
    const std::string_view row = grid[static_cast<std::size_t>(y)];
    if (row.size() != static_cast<std::size_t>(Size))
      throw std::logic_error("icons: row " + std::to_string(y) + " is not 16 pixels wide: " + std::string(row));
    for (int x = 0; x < Size; ++x) {
      if (overlay && row[static_cast<std::size_t>(x)] == '.') continue;
      picture.Pixels[static_cast<std::size_t>(y * Size + x)] = Ink(row[static_cast<std::size_t>(x)]);
    }
  }
}

Picture Draw(const Grid& base, std::initializer_list<const Grid*> overlays = {}) {
  Picture picture;
  Paint(picture, base, false);
  for (const Grid* overlay : overlays) Paint(picture, *overlay, true);
  return picture;
}

constexpr Grid kFolder{
    "................",
    "................",
    "..kkkkk.........",
    ".kllllllk.......",
    "kllllllllkkkkkk.",
    "klyyyyyyyyyyyyyk",
    "klyyyyyyyyyyyyYk",
    "klyyyyyyyyyyyyYk",
    "klyyyyyyyyyyyyYk",
    "klyyyyyyyyyyyyYk",
    "klyyyyyyyyyyyyYk",
    "klyyyyyyyyyyyyYk",
    "klyyyyyyyyyyyyYk",
    "kYYYYYYYYYYYYYYk",
    ".kkkkkkkkkkkkkk.",
    "................",
};

constexpr Grid kOpenFolder{
    "................",
    "................",
    "..kkkkk.........",
    ".kYYYYYk........",
    "kYYYYYYYkkkkkk..",
    "kYYYYYYYYYYYYYk.",
    "kYYYkkkkkkkkkkkk",
    "kYYklllllllllllk",
    "kYklllllllllllk.",
    "kYkyyyyyyyyyyyk.",
    "kkyyyyyyyyyyyk..",
    "kkyyyyyyyyyyyk..",
    "kyyyyyyyyyyyk...",
    "kkkkkkkkkkkkk...",
    "................",
    "................",
};

constexpr Grid kDrive{
    "................",
    "................",
    "................",
    "................",
    "..kkkkkkkkkkkk..",
    ".kwwwwwwwwwwwwk.",
    ".kwggggggggggGk.",
    ".kwggggggggggGk.",
    ".kwgggggggggeGk.",
    ".kGGGGGGGGGGGGk.",
    "..kkkkkkkkkkkk..",
    "................",
    "................",
    "................",
    "................",
    "................",
};

constexpr Grid kDriveSlot{
    "................",
    "................",
    "................",
    "................",
    "................",
    "................",
    "................",
    ".kwgkkkkkkkkgGk.",
    ".kwggggggggggGk.",
    "................",
    "................",
    "................",
    "................",
    "................",
    "................",
    "................",
};

constexpr Grid kCable{
    "................",
    "................",
    "................",
    "................",
    "................",
    "................",
    "................",
    "................",
    "................",
    "................",
    "................",
    ".......kk.......",
    ".......kk.......",
    "...kkkkkkkkkk...",
    "................",
    "................",
};

constexpr Grid kRecycleBin{
    "................",
    "......kkkk......",
    "..kkkkkkkkkkkk..",
    "..kggggggggggk..",
    "..kkkkkkkkkkkk..",
    "...kwgwgwgwgk...",
    "...kwgwgwgwgk...",
    "...kwgweewgGk...",
    "...kwgeeeegGk...",
    "...kwgweewgGk...",
    "...kwgwgwgwgk...",
    "...kwgwgwgwgk...",
    "...kwgwgwgwgk...",
    "....kkkkkkkk....",
    "................",
    "................",
};

// A written sheet in front of the folder: the documents folder as a drive
// holds it.
constexpr Grid kDocumentBadge{
    "................",
    "................",
    "................",
    "................",
    "................",
    "................",
    ".kkkkkk.........",
    ".kwwwwkk........",
    ".kwbbbwk........",
    ".kwwwwwk........",
    ".kwbbbwk........",
    ".kwwwwwk........",
    ".kwbbbwk........",
    ".kwwwwwk........",
    ".kkkkkkk........",
    "................",
};

// Papers standing out of the folder's mouth.
constexpr Grid kPapers{
    "................",
    ".....kkkkkkkk...",
    "....kkwwwwwwk...",
    "....kwkwppppk...",
    "....kwkwwwwwk...",
    "................",
    "................",
    "................",
    "................",
    "................",
    "................",
    "................",
    "................",
    "................",
    "................",
    "................",
};

constexpr Grid kComputer{
    "................",
    ".kkkkkkkkkkkkkk.",
    ".kggggggggggggk.",
    ".kgkkkkkkkkkkgk.",
    ".kgkbbbbbbbbkgk.",
    ".kgkbcbbbbbbkgk.",
    ".kgkbbbbbbbbkgk.",
    ".kgkbbbbbbbbkgk.",
    ".kgkbbbbbbbbkgk.",
    ".kgkkkkkkkkkkgk.",
    ".kggggggggggggk.",
    ".kkkkkkkkkkkkkk.",
    "......kggk......",
    "...kkkkkkkkkk...",
    "...kggggggggk...",
    "...kkkkkkkkkk...",
};

constexpr Grid kDesktop{
    "................",
    "................",
    "kkkkkkkkkkkkkkkk",
    "kcccccccccccccck",
    "kcwwcccccwwcccck",
    "kcwwccccwwwwccck",
    "kcccccccccccccck",
    "kcwwcceeccccccck",
    "kcwwceeeecccceek",
    "kcceeeeeeeceeeek",
    "keeeeeeeeeeeeeek",
    "kEEEEEEEEEEEEEEk",
    "kkkkkkkkkkkkkkkk",
    "................",
    "................",
    "................",
};

constexpr Grid kQuestionMark{
    "................",
    ".....bbbbbb.....",
    "....bbbbbbbb....",
    "...bbb....bbb...",
    "...bbb....bbb...",
    "..........bbb...",
    ".........bbb....",
    "........bbb.....",
    ".......bbb......",
    ".......bbb......",
    ".......bbb......",
    "................",
    ".......bbb......",
    ".......bbb......",
    "................",
    "................",
};

constexpr Grid kSheet{
    "................",
    "..kkkkkkkkk.....",
    "..kwwwwwwwkk....",
    "..kwwwwwwwkgk...",
    "..kwwwwwwwkkkk..",
    "..kwwwwwwwwwwk..",
    "..kwwwwwwwwwwk..",
    "..kwwwwwwwwwwk..",
    "..kwwwwwwwwwwk..",
    "..kwwwwwwwwwwk..",
    "..kwwwwwwwwwwk..",
    "..kwwwwwwwwwwk..",
    "..kwwwwwwwwwwk..",
    "..kwwwwwwwwwwk..",
    "..kkkkkkkkkkkk..",
    "................",
};

// Marks laid over the lower right of a folder or a sheet.
constexpr Grid kCrossMark{
    "................",
    "................",
    "................",
    "................",
    "................",
    "................",
    "................",
    "........rr....rr",
    ".........rr..rr.",
    "..........rrrr..",
    "...........rr...",
    "..........rrrr..",
    ".........rr..rr.",
    "........rr....rr",
    "................",
    "................",
};

constexpr Grid kTickMark{
    "................",
    "................",
    "................",
    "................",
    "................",
    "................",
    "..............ee",
    ".............eee",
    "............eee.",
    "........e..eee..",
    "........eeeee...",
    ".........eee....",
    "..........e.....",
    "................",
    "................",
    "................",
};

constexpr Grid kTick{
    "................",
    "................",
    "................",
    "............eee.",
    "...........eeee.",
    "..........eeee..",
    ".........eeee...",
    ".ee.....eeee....",
    ".eee...eeee.....",
    "..eee.eeee......",
    "...eeeeeee......",
    "....eeeee.......",
    ".....eee........",
    "......e.........",
    "................",
    "................",
};

constexpr Grid kArrow{
    "................",
    "................",
    "................",
    "........r.......",
    "........rr......",
    "........rrr.....",
    ".rrrrrrrrrrr....",
    ".rrrrrrrrrrrr...",
    ".rrrrrrrrrrrr...",
    ".rrrrrrrrrrr....",
    "........rrr.....",
    "........rr......",
    "........r.......",
    "................",
    "................",
    "................",
};

constexpr Grid kGreyFolder{
    "................",
    "................",
    "..kkkkk.........",
    ".kwwwwwwk.......",
    "kwwwwwwwwkkkkkk.",
    "kwgggggggggggggk",
    "kwggggggggggggGk",
    "kwggggggggggggGk",
    "kwggggggggggggGk",
    "kwggggggggggggGk",
    "kwggggggggggggGk",
    "kwggggggggggggGk",
    "kwggggggggggggGk",
    "kGGGGGGGGGGGGGGk",
    ".kkkkkkkkkkkkkk.",
    "................",
};

}  // namespace

std::span<const Picture> TreeImages() {
  static const std::vector<Picture> pictures{
      Draw(kFolder),                      // 0 folder
      Draw(kDrive),                       // 1 fixed drive
      Draw(kFolder, {&kCrossMark}),       // 2 deleted folder
      Draw(kOpenFolder),                  // 3
      Draw(kDrive, {&kDriveSlot}),        // 4
      Draw(kRecycleBin),                  // 5 recycle bin
      Draw(kFolder, {&kDocumentBadge}),   // 6 documents folder found on a drive
      Draw(kComputer),                    // 7 computer
      Draw(kDesktop),                     // 8 desktop
      Draw(kFolder, {&kPapers}),          // 9 folder holding papers
      Draw(kQuestionMark),                // 10 lost items
      Draw(kGreyFolder, {&kCable}),       // 11
  };
  return pictures;
}

std::span<const Picture> FileImages() {
  static const std::vector<Picture> pictures{
      Draw(kSheet),                  // 0 plain sheet
      Draw(kSheet, {&kTickMark}),    // 1 sheet with a green tick
      Draw(kSheet, {&kCrossMark}),   // 2 sheet with a red cross
      Draw(kTick),                   // 3 green tick
      Draw(kArrow),                  // 4 red arrow
  };
  return pictures;
}

std::span<const Picture> ForImageList(std::string_view name) {
  if (name == "ImageList2") return TreeImages();
  if (name == "ImageList3") return FileImages();
  return {};
}

}  // namespace vant::icons
