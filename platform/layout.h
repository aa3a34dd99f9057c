// The description of a form as data: every component with its kind, parent,
// rectangle, texts, fonts and colours. A toolkit turns this into widgets; the
// form itself only ever names components.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace vant {

enum class ComponentKind : std::uint8_t {
  Form,
  PageControl,
  TabSheet,
  Panel,
  GroupBox,
  Label,
  StaticText,
  TreeView,
  ListView,
  ProgressBar,
  Image,
  CheckBox,
  BitBtn,
  Edit,
  FilterComboBox,
  HelpText,  // a read-only scrolling page of text
  ImageList,
  SaveDialog,
};

// Colours as 0x00BBGGRR, or one of the system colours below.
enum : std::uint32_t {
  ClNavy = 0x00800000,
  ClBlack = 0x00000000,
  ClWhite = 0x00FFFFFF,
  ClSysFlag = 0x80000000,
  ClBtnFace = ClSysFlag | 15,   // COLOR_BTNFACE
  ClDesktop = ClSysFlag | 1,    // COLOR_DESKTOP
  ClWindow = ClSysFlag | 5,     // COLOR_WINDOW
  ClWindowText = ClSysFlag | 8, // COLOR_WINDOWTEXT
  ClDefault = 0xFFFFFFFF,       // inherit from the parent
};

struct FontLayout {
  std::string_view Face = "MS Sans Serif";
  int Points = 8;
  bool Bold = false;
  std::uint32_t Colour = ClWindowText;
};

struct Rect {
  int Left = 0, Top = 0, Width = 0, Height = 0;
};

enum class Align : std::uint8_t { Left, Centre, Right };

struct ColumnLayout {
  std::string_view Caption;
  int Width;
  Align Alignment = Align::Left;
};

enum Bevel : std::uint8_t { BevelNone = 0, BevelRaisedInner = 1, BevelLoweredOuter = 2 };

struct ComponentLayout {
  std::string_view Name;
  ComponentKind Kind;
  std::string_view Parent;  // empty for the form
  Rect Bounds;
  std::string_view Caption;  // caption, text, dialog title or filter string
  FontLayout Font;
  std::uint32_t Colour = ClDefault;  // background
  std::string_view Hint;
  bool Visible = true;
  bool Enabled = true;
  bool Checked = false;
  bool StretchWidth = false;  // anchored to both sides of its parent
  bool Centred = false;       // centred text
  bool WordWrap = false;
  bool Transparent = false;
  std::uint8_t Bevels = BevelNone;
  std::span<const ColumnLayout> Columns;  // list views
  std::string_view Images;              // image list used by a tree or list view
  int Indent = 0;                       // tree views
  int ImageCount = 0;                   // image lists
  int ImageWidth = 16, ImageHeight = 16;
  int ImageIndex = -1;                  // images and bit buttons: a picture from an image list
  std::string_view ImageSource;         // the image list `ImageIndex` refers to
};

using FormLayout = std::span<const ComponentLayout>;

}  // namespace vant
