// The small controls: labels and static texts, help pages, pictures,
// progress bars, check boxes, picture buttons, edits, and the components
// without a window (image lists, the save dialog's settings).
#include <windowsx.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <string>

#include "platform/icons.h"
#include "platform/win32/image_lists.h"
#include "platform/win32/win32_widgets.h"

namespace vant::win32::widgets {
namespace {

std::string ToCrLf(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 16);
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) out += '\r';
    out += text[i];
  }
  return out;
}

class Label : public Widget<TextControl> {
 public:
  explicit Label(const ComponentLayout& desc) : Widget(desc), autoSize_(desc.Bounds.Width == 0) {
    caption_ = desc.Caption;
  }
  void SetText(std::string_view text) override {
    caption_ = text;
    SetWindowTextA(hwnd_, caption_.c_str());
    if (autoSize_) FitText();
  }
  std::string Text() const override { return caption_; }
  // Labels without a size take the size of their text.
  void FitText() {
    HDC dc = GetDC(hwnd_);
    HGDIOBJ old = SelectObject(dc, font_);
    SIZE size{};
    GetTextExtentPoint32A(dc, caption_.c_str(), static_cast<int>(caption_.size()), &size);
    SelectObject(dc, old);
    ReleaseDC(hwnd_, dc);
    SetWindowPos(hwnd_, nullptr, 0, 0, size.cx + 1, size.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  bool AutoSize() const { return autoSize_; }

 protected:
  void Restyled() override {
    if (autoSize_) FitText();
  }

 private:
  bool autoSize_;
};

// A read-only scrolling page of text.
class HelpPage : public Widget<TextControl> {
 public:
  using Widget::Widget;
  void SetText(std::string_view text) override {
    caption_ = text;
    SetWindowTextA(hwnd_, ToCrLf(text).c_str());
  }
  std::string Text() const override { return caption_; }
};

class Picture : public Widget<ImageBox> {
 public:
  Picture(const ComponentLayout& desc, HIMAGELIST images) : Widget(desc), images_(images), index_(desc.ImageIndex) {}
  void ShowImage(int index) override {
    index_ = index;
    InvalidateRect(hwnd_, nullptr, TRUE);
  }
  int ImageIndex() const override { return index_; }
  void Redraw() override { RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW); }
  void Paint(HDC dc, const RECT&) override {
    if (images_ && index_ >= 0) ImageList_Draw(images_, index_, dc, 0, 0, ILD_TRANSPARENT);
  }

 private:
  HIMAGELIST images_;
  int index_;
};

// A progress bar that is told of a new position only when its filled part
// would change by a pixel: each change redraws the bar (with a visual theme,
// several round trips to the window system).
class Bar : public Widget<ProgressBar> {
 public:
  using Widget::Widget;
  void SetMax(std::int64_t max) override {
    max_ = max;
    SendMessageA(hwnd_, PBM_SETRANGE32, 0, Scaled(max_));
    shownPixel_ = -1;
    SetPosition(position_);
  }
  std::int64_t Max() const override { return max_; }
  void SetPosition(std::int64_t position) override {
    position_ = std::clamp<std::int64_t>(position, 0, std::max<std::int64_t>(max_, 0));
    const int pixel = Pixel(position_);
    if (pixel == shownPixel_) return;
    shownPixel_ = pixel;
    SendMessageA(hwnd_, PBM_SETPOS, static_cast<WPARAM>(Scaled(position_)), 0);
  }
  std::int64_t Position() const override { return position_; }

 private:
  // The control counts in ints: large ranges are shown to scale.
  LPARAM Scaled(std::int64_t value) const {
    if (max_ <= INT_MAX) return static_cast<LPARAM>(value);
    return static_cast<LPARAM>(static_cast<double>(value) / static_cast<double>(max_) * INT_MAX);
  }
  // Where the filled part ends (a bar not yet laid out counts a thousand steps).
  int Pixel(std::int64_t value) const {
    if (max_ <= 0) return 0;
    RECT r{};
    GetClientRect(hwnd_, &r);
    const int width = r.right > r.left ? r.right - r.left : 1000;
    return static_cast<int>(static_cast<double>(value) / static_cast<double>(max_) * width);
  }
  std::int64_t max_ = 100, position_ = 0;
  int shownPixel_ = -1;
};

class Check : public Widget<CheckBox> {
 public:
  using Widget::Widget;
  void SetChecked(bool checked) override { Button_SetCheck(hwnd_, checked ? BST_CHECKED : BST_UNCHECKED); }
  bool Checked() const override { return Button_GetCheck(hwnd_) == BST_CHECKED; }
  void Command(WORD code) override {
    // Disabled controls ignore clicks, even one sent as a message.
    if (code == BN_CLICKED && IsWindowEnabled(hwnd_) && OnClick) OnClick();
  }
};

// A push button drawn with its picture beside its caption.
class BitButton : public Widget<Button> {
 public:
  BitButton(const ComponentLayout& desc, HIMAGELIST images) : Widget(desc), images_(images), glyph_(desc.ImageIndex) {
    caption_ = desc.Caption;
  }
  ~BitButton() override {
    if (fitted_) DeleteObject(fitted_);
  }
  void Command(WORD code) override {
    // Disabled controls ignore clicks, even one sent as a message.
    if (code == BN_CLICKED && IsWindowEnabled(hwnd_) && OnClick) OnClick();
  }
  bool DrawItem(const DRAWITEMSTRUCT& item) override {
    RECT r = item.rcItem;
    const bool pushed = item.itemState & ODS_SELECTED;
    const bool disabled = item.itemState & ODS_DISABLED;
    DrawFrameControl(item.hDC, &r, DFC_BUTTON, DFCS_BUTTONPUSH | (pushed ? DFCS_PUSHED : 0));
    if (pushed) OffsetRect(&r, 1, 1);
    HGDIOBJ old = SelectObject(item.hDC, FittingFont(item.hDC, r));
    SetBkMode(item.hDC, TRANSPARENT);
    SetTextColor(item.hDC, disabled ? GetSysColor(COLOR_GRAYTEXT) : textColour_);
    RECT measure = r;
    DrawTextA(item.hDC, caption_.c_str(), -1, &measure, DT_CALCRECT | DT_SINGLELINE);
    const bool glyph = images_ && glyph_ >= 0;
    const int width = (measure.right - measure.left) + (glyph ? icons::Size + 4 : 0);
    int x = r.left + ((r.right - r.left) - width) / 2;
    if (glyph) {
      ImageList_DrawEx(images_, glyph_, item.hDC, x, r.top + ((r.bottom - r.top) - icons::Size) / 2, 0, 0, CLR_NONE,
                       CLR_NONE, disabled ? ILD_BLEND50 : ILD_TRANSPARENT);
      x += icons::Size + 4;
    }
    RECT text{x, r.top, r.right, r.bottom};
    DrawTextA(item.hDC, caption_.c_str(), -1, &text, DT_LEFT | DT_VCENTER | DT_SINGLELINE);
    SelectObject(item.hDC, old);
    if (item.itemState & ODS_FOCUS) {
      RECT focus = item.rcItem;
      InflateRect(&focus, -4, -4);
      DrawFocusRect(item.hDC, &focus);
    }
    return true;
  }

 private:
  // The caption's font, made smaller where the system's face is wider than
  // the one the layout was drawn with, so the caption is never cut.
  HFONT FittingFont(HDC dc, const RECT& r) {
    if (fitted_) return fitted_;
    LOGFONTA font{};
    GetObjectA(font_, sizeof font, &font);
    const int room = (r.right - r.left) - 8 - (images_ && glyph_ >= 0 ? icons::Size + 4 : 0);
    for (;;) {
      HFONT candidate = CreateFontIndirectA(&font);
      HGDIOBJ old = SelectObject(dc, candidate);
      SIZE size{};
      GetTextExtentPoint32A(dc, caption_.c_str(), static_cast<int>(caption_.size()), &size);
      SelectObject(dc, old);
      if (size.cx <= room || std::abs(font.lfHeight) <= 8) {
        fitted_ = candidate;
        return fitted_;
      }
      DeleteObject(candidate);
      font.lfHeight += font.lfHeight < 0 ? 1 : -1;
    }
  }
  void Restyled() override {
    if (fitted_) DeleteObject(fitted_);
    fitted_ = nullptr;  // fitted again from the new font at the next drawing
  }
  HIMAGELIST images_;
  int glyph_;
  HFONT fitted_ = nullptr;
};

class Edit : public Widget<EditBox> {
 public:
  using Widget::Widget;
  void SetText(std::string_view text) override { SetWindowTextA(hwnd_, std::string(text).c_str()); }
  std::string Text() const override {
    std::string text(static_cast<std::size_t>(GetWindowTextLengthA(hwnd_)) + 1, '\0');
    text.resize(static_cast<std::size_t>(GetWindowTextA(hwnd_, text.data(), static_cast<int>(text.size()))));
    return text;
  }
  // Each typed character passes the form's handler first; 0 swallows it,
  // and so does Enter, which a one-line edit has no use for.
  bool OwnMessage(UINT message, WPARAM& w, LPARAM, LRESULT& result) override {
    if (message != WM_CHAR) return false;
    char key = static_cast<char>(w);
    if (OnKeyPress) OnKeyPress(key);
    if (key == 0 || key == '\r') {
      result = 0;
      return true;
    }
    w = static_cast<unsigned char>(key);
    return false;
  }
};

// Components without a window (image lists, the save dialog's settings).
class Plain : public Widget<Control> {
 public:
  explicit Plain(const ComponentLayout& desc, HIMAGELIST images = nullptr) : Widget(desc), images_(images) {}
  ~Plain() override {
    if (images_) ImageList_Destroy(images_);
  }
  HIMAGELIST Images() const { return images_; }

 private:
  HIMAGELIST images_;
};

// Widens a control whose caption, in the system's face for the layout's
// font, is wider than the layout allowed; `extra` is the room of its box.
void FitCaption(Core& core, const std::string& caption, int extra) {
  HDC dc = GetDC(core.Hwnd());
  HGDIOBJ old = SelectObject(dc, core.Font());
  SIZE size{};
  GetTextExtentPoint32A(dc, caption.c_str(), static_cast<int>(caption.size()), &size);
  SelectObject(dc, old);
  ReleaseDC(core.Hwnd(), dc);
  RECT r;
  GetWindowRect(core.Hwnd(), &r);
  if (size.cx + extra > r.right - r.left)
    SetWindowPos(core.Hwnd(), nullptr, 0, 0, size.cx + extra, r.bottom - r.top, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace

HIMAGELIST PlainImages(const Control* control) {
  const auto* plain = dynamic_cast<const Plain*>(control);
  return plain ? plain->Images() : nullptr;
}

std::unique_ptr<Control> MakeSmall(Builder& builder, const ComponentLayout& desc, Core* parent) {
  using K = ComponentKind;
  const std::string caption(desc.Caption);
  switch (desc.Kind) {
    case K::ImageList: return std::make_unique<Plain>(desc, MakeImageList(icons::ForImageList(desc.Name)));
    case K::SaveDialog: return std::make_unique<Plain>(desc);
    case K::Label:
    case K::StaticText: {
      auto label = std::make_unique<Label>(desc);
      DWORD style = SS_NOPREFIX | (desc.Centred ? SS_CENTER : SS_LEFT);
      if (!desc.WordWrap && !desc.Centred && desc.Kind == K::Label) style = SS_NOPREFIX | SS_LEFTNOWORDWRAP;
      builder.Window(*label, desc, parent, "STATIC", caption, style);
      if (label->AutoSize()) label->FitText();
      return label;
    }
    case K::HelpText: {
      auto page = std::make_unique<HelpPage>(desc);
      builder.Window(*page, desc, parent, "EDIT", "", ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | WS_VSCROLL,
                     WS_EX_CLIENTEDGE);
      page->SetText(desc.Caption);
      return page;
    }
    case K::ProgressBar: {
      auto bar = std::make_unique<Bar>(desc);
      builder.Window(*bar, desc, parent, PROGRESS_CLASSA, "", 0);
      SendMessageA(bar->Hwnd(), PBM_SETRANGE32, 0, 100);
      return bar;
    }
    case K::Image: {
      auto picture = std::make_unique<Picture>(desc, builder.ImagesNamed(desc.ImageSource));
      builder.Window(*picture, desc, parent, kPictureClass, "", 0);
      return picture;
    }
    case K::CheckBox: {
      auto box = std::make_unique<Check>(desc);
      builder.Window(*box, desc, parent, "BUTTON", caption, BS_AUTOCHECKBOX | WS_TABSTOP);
      box->SetChecked(desc.Checked);
      if (!caption.empty()) FitCaption(*box, caption, 20);
      return box;
    }
    case K::BitBtn: {
      auto button = std::make_unique<BitButton>(desc, builder.ImagesNamed(desc.ImageSource));
      builder.Window(*button, desc, parent, "BUTTON", caption, BS_OWNERDRAW | WS_TABSTOP);
      return button;
    }
    case K::Edit: {
      auto edit = std::make_unique<Edit>(desc);
      builder.Window(*edit, desc, parent, "EDIT", caption, ES_AUTOHSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE);
      return edit;
    }
    default: return nullptr;
  }
}

}  // namespace vant::win32::widgets
