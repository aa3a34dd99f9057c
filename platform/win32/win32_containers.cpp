// The containers (panels, group boxes, page controls and their tab sheets),
// their shared window procedure, and what every widget kind shares.
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/win32/win32_widgets.h"

namespace vant::win32::widgets {

COLORREF Resolve(std::uint32_t colour) {
  if (colour & ClSysFlag) return GetSysColor(static_cast<int>(colour & 0xFF));
  return static_cast<COLORREF>(colour);
}

bool IsDefaultFont(const FontLayout& font) {
  const FontLayout plain;
  return font.Face == plain.Face && font.Points == plain.Points && font.Bold == plain.Bold &&
         font.Colour == plain.Colour;
}

void Core::SetBackground(COLORREF colour) {
  if (brush_ && colour == background_) return;
  HBRUSH brush = CreateSolidBrush(colour);
  if (brush_) DeleteObject(brush_);
  brush_ = brush;
  background_ = colour;
  Restyled();
  if (hwnd_) InvalidateRect(hwnd_, nullptr, TRUE);
}

void Core::SetFont(HFONT font, COLORREF textColour) {
  font_ = font;
  textColour_ = textColour;
  if (!hwnd_) return;
  SendMessageA(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  Restyled();
  InvalidateRect(hwnd_, nullptr, TRUE);
}

void Container::SetText(std::string_view text) {
  caption_ = text;
  if (frame_ == Frame::None) SetWindowTextA(hwnd_, caption_.c_str());
  InvalidateRect(hwnd_, nullptr, TRUE);
}

void Container::Paint(HDC dc, const RECT& client) {
  RECT r = client;
  HGDIOBJ oldFont = SelectObject(dc, font_);
  SetTextColor(dc, textColour_);
  SetBkMode(dc, TRANSPARENT);
  if (frame_ == Frame::Panel) {
    if (bevels_ & BevelLoweredOuter) {
      DrawEdge(dc, &r, BDR_SUNKENOUTER, BF_RECT | BF_ADJUST);
    }
    if (bevels_ & BevelRaisedInner) DrawEdge(dc, &r, BDR_RAISEDINNER, BF_RECT | BF_ADJUST);
    if (!caption_.empty())
      DrawTextA(dc, caption_.c_str(), static_cast<int>(caption_.size()), &r,
                DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
  } else if (frame_ == Frame::Group) {
    TEXTMETRICA metrics{};
    GetTextMetricsA(dc, &metrics);
    r.top += metrics.tmHeight / 2;
    DrawEdge(dc, &r, EDGE_ETCHED, BF_RECT);
    SIZE size{};
    GetTextExtentPoint32A(dc, caption_.c_str(), static_cast<int>(caption_.size()), &size);
    RECT text{8, 0, 8 + size.cx + 4, metrics.tmHeight};
    FillRect(dc, &text, brush_);
    TextOutA(dc, 10, 0, caption_.c_str(), static_cast<int>(caption_.size()));
  }
  SelectObject(dc, oldFont);
}

namespace {

// The tab control: its pages are containers of our own class inside it.
class Pages : public Widget<TextControl> {
 public:
  using Widget::Widget;
  void SetText(std::string_view text) override { caption_ = text; }
  std::string Text() const override { return caption_; }
  void AddPage(Container* page, const std::string& caption) {
    TCITEMA item{};
    item.mask = TCIF_TEXT;
    item.pszText = const_cast<char*>(caption.c_str());
    SendMessageA(hwnd_, TCM_INSERTITEMA, pages_.size(), reinterpret_cast<LPARAM>(&item));
    pages_.push_back(page);
  }
  RECT PageRect() const {
    RECT r;
    GetClientRect(hwnd_, &r);
    TabCtrl_AdjustRect(hwnd_, FALSE, &r);
    return r;
  }
  void Show(int index) {
    if (index < 0 || index >= static_cast<int>(pages_.size())) return;
    TabCtrl_SetCurSel(hwnd_, index);
    for (int i = 0; i < static_cast<int>(pages_.size()); ++i)
      ShowWindow(pages_[static_cast<std::size_t>(i)]->Hwnd(), i == index ? SW_SHOW : SW_HIDE);
  }
  int Current() const { return TabCtrl_GetCurSel(hwnd_); }
  int PageCount() const { return static_cast<int>(pages_.size()); }
  LRESULT Notify(NMHDR* header) override {
    if (header->code == TCN_SELCHANGE) Show(Current());
    return 0;
  }

 private:
  std::vector<Container*> pages_;
};

}  // namespace

std::unique_ptr<Control> MakeContainer(Builder& builder, const ComponentLayout& desc, Core* parent) {
  using K = ComponentKind;
  const std::string caption(desc.Caption);
  switch (desc.Kind) {
    case K::PageControl: {
      auto pages = std::make_unique<Pages>(desc);
      builder.Window(*pages, desc, parent, WC_TABCONTROLA, "", WS_CLIPCHILDREN | WS_TABSTOP);
      return pages;
    }
    case K::TabSheet: {
      auto page = std::make_unique<Container>(desc, Frame::None);
      auto* pages = dynamic_cast<Pages*>(parent);
      if (!pages) throw std::logic_error("a tab sheet outside a page control: " + std::string(desc.Name));
      pages->AddPage(page.get(), caption);
      const RECT r = pages->PageRect();
      ComponentLayout placed = desc;
      placed.Bounds = {r.left, r.top, r.right - r.left, r.bottom - r.top};
      placed.Visible = pages->PageCount() == 1;
      builder.Window(*page, placed, parent, kContainerClass, "", WS_CLIPCHILDREN);
      page->SetCaption(caption);
      return page;
    }
    case K::Panel:
    case K::GroupBox: {
      auto box = std::make_unique<Container>(desc, desc.Kind == K::Panel ? Frame::Panel : Frame::Group);
      builder.Window(*box, desc, parent, kContainerClass, "", WS_CLIPCHILDREN);
      box->SetCaption(caption);
      return box;
    }
    default: return nullptr;
  }
}

LRESULT CALLBACK WidgetProc(HWND hwnd, UINT message, WPARAM w, LPARAM l) {
  Core* core = OwnCoreOf(hwnd);
  const WNDPROC previous = core ? core->Previous() : nullptr;
  if (!previous) return DefWindowProcA(hwnd, message, w, l);
  LRESULT result = 0;
  if (core->Form() && core->Form()->ChildMessage(hwnd, message, w, l, result)) return result;
  if (core->OwnMessage(message, w, l, result)) return result;
  if (message == WM_NCDESTROY) core->Unhook();
  return CallWindowProcA(previous, hwnd, message, w, l);
}

LRESULT CALLBACK ContainerProc(HWND hwnd, UINT message, WPARAM w, LPARAM l) {
  Core* self = OwnCoreOf(hwnd);
  switch (message) {
    case WM_COMMAND:
      if (Core* child = CoreOf(reinterpret_cast<HWND>(l))) {
        child->Command(HIWORD(w));
        return 0;
      }
      break;
    case WM_NOTIFY: {
      auto* header = reinterpret_cast<NMHDR*>(l);
      if (Core* child = CoreOf(header->hwndFrom)) return child->Notify(header);
      break;
    }
    case WM_DRAWITEM: {
      auto* item = reinterpret_cast<DRAWITEMSTRUCT*>(l);
      if (Core* child = CoreOf(item->hwndItem); child && child->DrawItem(*item)) return TRUE;
      break;
    }
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLOREDIT:
      if (Core* child = CoreOf(reinterpret_cast<HWND>(l)))
        return reinterpret_cast<LRESULT>(child->Colours(reinterpret_cast<HDC>(w)));
      break;
    case WM_ERASEBKGND:
      if (self) {
        RECT r;
        GetClientRect(hwnd, &r);
        FillRect(reinterpret_cast<HDC>(w), &r, self->Brush());
        return 1;
      }
      break;
    case WM_PAINT:
      if (self) {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(hwnd, &paint);
        RECT r;
        GetClientRect(hwnd, &r);
        self->Paint(dc, r);
        EndPaint(hwnd, &paint);
        return 0;
      }
      break;
    case WM_PRINTCLIENT:
      // Drawing into a caller's device context (printing, capturing).
      if (self) {
        auto dc = reinterpret_cast<HDC>(w);
        RECT r;
        GetClientRect(hwnd, &r);
        if (l & PRF_ERASEBKGND) FillRect(dc, &r, self->Brush());
        self->Paint(dc, r);
        return 0;
      }
      break;
    case WM_SETCURSOR:
      if (self && self->Form() && self->Form()->Busy()) {
        SetCursor(LoadCursor(nullptr, IDC_WAIT));
        return TRUE;
      }
      break;
    case WM_CLOSE:
      if (!(GetWindowLongPtrA(hwnd, GWL_STYLE) & WS_CHILD)) {
        ShowWindow(hwnd, SW_HIDE);
        PostQuitMessage(0);
        return 0;
      }
      break;
    case WM_NCDESTROY:
      SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
      break;
  }
  return DefWindowProcA(hwnd, message, w, l);
}

}  // namespace vant::win32::widgets

namespace vant::win32 {

void SelectPage(Control& pageControl, int index) {
  if (auto* pages = dynamic_cast<widgets::Pages*>(&pageControl)) pages->Show(index);
}

int SelectedPage(const Control& pageControl) {
  const auto* pages = dynamic_cast<const widgets::Pages*>(&pageControl);
  return pages ? pages->Current() : -1;
}

}  // namespace vant::win32
