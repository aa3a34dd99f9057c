// The form window: builds every widget of a layout into one window tree,
// owns them, and gives the form its own properties and events.
#include <windowsx.h>

#include <algorithm>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "platform/win32/win32_widgets.h"

namespace vant::win32::widgets {
namespace {

constexpr int kScrollLine = 16;

void Validate(const FormProperties& p) {
  if (static_cast<unsigned>(p.AxBorderStyle) > static_cast<unsigned>(FormBorder::Raised))
    throw std::invalid_argument("border style out of range (0 to 3)");
  if (p.BorderWidth < 0) throw std::invalid_argument("negative border width");
  if (p.PixelsPerInch <= 0) throw std::invalid_argument("pixels per inch must be positive");
  if (static_cast<unsigned>(p.PrintScale) > static_cast<unsigned>(FormPrintScale::PrintToFit))
    throw std::invalid_argument("print scale out of range (0 to 2)");
}

HFONT MakeFont(const FormFont& f) {
  LOGFONTA font{};
  HDC screen = GetDC(nullptr);
  font.lfHeight = -MulDiv(f.Points, GetDeviceCaps(screen, LOGPIXELSY), 72);
  ReleaseDC(nullptr, screen);
  font.lfWeight = f.Bold ? FW_BOLD : FW_NORMAL;
  font.lfItalic = f.Italic;
  font.lfUnderline = f.Underline;
  font.lfStrikeOut = f.Strikeout;
  font.lfCharSet = static_cast<BYTE>(f.Charset);
  font.lfOutPrecision = OUT_DEFAULT_PRECIS;
  font.lfClipPrecision = CLIP_DEFAULT_PRECIS;
  font.lfQuality = DEFAULT_QUALITY;
  font.lfPitchAndFamily = DEFAULT_PITCH | FF_DONTCARE;
  f.Name.copy(font.lfFaceName, LF_FACESIZE - 1);
  HFONT made = CreateFontIndirectA(&font);
  if (!made) throw std::runtime_error("the font " + f.Name + " cannot be made");
  return made;
}

RECT ClientRectOf(HWND child, HWND parent) {
  RECT r;
  GetWindowRect(child, &r);
  MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

}  // namespace

class FormImpl : public FormWindow, public Owner, public Builder {
 public:
  FormImpl(vant::win32::Toolkit& toolkit, HWND parent, Toolkit::Compare compare)
      : toolkit_(toolkit), parent_(parent), compare_(std::move(compare)) {}
  ~FormImpl() override {
    closing_ = true;  // focus moves while windows go: no events from here on
    for (auto it = widgets_.rbegin(); it != widgets_.rend(); ++it)
      if (Core* core = dynamic_cast<Core*>(it->get())) core->BeforeDestroy();
    if (top_) DestroyWindow(top_);
    for (auto it = widgets_.rbegin(); it != widgets_.rend(); ++it) it->reset();
    for (auto& [key, font] : fonts_) DeleteObject(font);
    if (formFont_) DeleteObject(formFont_);
  }

  Control* Find(std::string_view name) const override {
    for (const auto& w : widgets_)
      if (w->Name() == name) return w.get();
    return nullptr;
  }
  void Show() override {
    if (!top_) return;
    ShowWindow(top_, SW_SHOW);
    UpdateWindow(top_);
  }
  HWND Top() const { return top_; }
  bool Busy() const override { return toolkit_.Hourglass(); }

  FormProperties Properties() const override {
    FormProperties p = properties_;
    if (top_) {
      p.Visible = IsWindowVisible(top_) != FALSE;
      p.Enabled = IsWindowEnabled(top_) != FALSE;
      p.Active = Within(GetFocus());
    }
    p.AlignDisabled = false;
    p.VisibleDockClientCount = 0;
    return p;
  }

  void Build(FormLayout layout) {
    for (const ComponentLayout& desc : layout) Add(desc);
  }

 protected:
  void Realise(const FormProperties& previous) override {
    // The new font is made before anything changes: one the system refuses
    // leaves the caption and colour as they were too.
    HFONT font = nullptr;
    try {
      Validate(properties_);
      if (top_ && !(properties_.Font == previous.Font)) font = MakeFont(properties_.Font);
    } catch (...) {
      properties_ = previous;
      throw;
    }
    if (!top_) return;
    const FormProperties& p = properties_;
    if (p.Caption != previous.Caption) formCore_->SetText(p.Caption);
    if (p.Color != previous.Color) Recolour();
    if (font) Refont(font);
    if ((IsWindowEnabled(top_) != FALSE) != p.Enabled) EnableWindow(top_, p.Enabled);
    if (((GetWindowLongPtrA(top_, GWL_STYLE) & WS_VISIBLE) != 0) != p.Visible) {
      if (p.Visible) Show();
      else ShowWindow(top_, SW_HIDE);
    }
    if (p.AxBorderStyle != previous.AxBorderStyle || p.BorderWidth != previous.BorderWidth) Reframe();
    const LONG_PTR ex = GetWindowLongPtrA(top_, GWL_EXSTYLE);
    const LONG_PTR composited = p.DoubleBuffered ? ex | WS_EX_COMPOSITED : ex & ~static_cast<LONG_PTR>(WS_EX_COMPOSITED);
    if (composited != ex) {
      SetWindowLongPtrA(top_, GWL_EXSTYLE, composited);
      RedrawWindow(top_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
    }
    if (p.AutoScroll != previous.AutoScroll) {
      if (p.AutoScroll) {
        UpdateScrollBars();
      } else {
        ScrollTo(SB_HORZ, 0);
        ScrollTo(SB_VERT, 0);
        ShowScrollBar(top_, SB_BOTH, FALSE);
      }
    }
  }

 public:

  void Window(Core& core, const ComponentLayout& desc, Core* parent, const char* windowClass, const std::string& text,
              DWORD style, DWORD exStyle) override {
    if (!parent) throw std::logic_error("a component without a parent window: " + std::string(desc.Name));
    Configure(core, desc, parent);
    style |= WS_CHILD | WS_CLIPSIBLINGS;
    if (desc.Visible) style |= WS_VISIBLE;
    if (!desc.Enabled) style |= WS_DISABLED;
    const Rect& b = desc.Bounds;
    core.hwnd_ = CreateWindowExA(exStyle, windowClass, text.c_str(), style, b.Left, b.Top, b.Width, b.Height,
                                 parent->Hwnd(), nullptr, ModuleInstance(), nullptr);
    if (!core.hwnd_) throw std::runtime_error("the window of " + std::string(desc.Name) + " cannot be made");
    Attach(core);
  }
  HIMAGELIST ImagesNamed(std::string_view name) const override { return PlainImages(Find(name)); }

  // The form window's own messages; false leaves one to the container's
  // procedure, `result` is the answer otherwise.
  bool FormMessage(UINT message, WPARAM w, LPARAM l, LRESULT& result) {
    switch (message) {
      case WM_LBUTTONDOWN:
        pressed_ = true;
        SetCapture(top_);
        return true;
      case WM_LBUTTONUP: {
        // A click is a press and a release both on the form's own area.
        const bool pressed = std::exchange(pressed_, false);
        if (GetCapture() == top_) ReleaseCapture();
        const POINT at{GET_X_LPARAM(l), GET_Y_LPARAM(l)};
        RECT client;
        GetClientRect(top_, &client);
        if (pressed && PtInRect(&client, at)) Raise(OnClick);
        return true;
      }
      case WM_LBUTTONDBLCLK:
        pressed_ = false;
        Raise(OnDblClick);
        return true;
      case WM_CAPTURECHANGED:
        if (reinterpret_cast<HWND>(l) != top_) pressed_ = false;
        return false;
      case WM_PAINT:
        result = ContainerProc(top_, message, w, l);
        Raise(OnPaint);
        return true;
      case WM_CHAR: {
        char key = static_cast<char>(w);
        if (OnKeyPress && !closing_) OnKeyPress(key);
        result = key ? ContainerProc(top_, message, static_cast<unsigned char>(key), l) : 0;
        return true;
      }
      case WM_SETFOCUS: FocusArrived(reinterpret_cast<HWND>(w)); return false;
      case WM_KILLFOCUS: FocusLeft(reinterpret_cast<HWND>(w)); return false;
      case WM_ACTIVATE: SetActive(LOWORD(w) != WA_INACTIVE); return false;
      case WM_NCCALCSIZE:
        result = ContainerProc(top_, message, w, l);
        if (const int width = properties_.BorderWidth; width > 0) {
          RECT* r = w ? &reinterpret_cast<NCCALCSIZE_PARAMS*>(l)->rgrc[0] : reinterpret_cast<RECT*>(l);
          r->left += width;
          r->top += width;
          r->right = std::max(r->left, r->right - width);
          r->bottom = std::max(r->top, r->bottom - width);
        }
        return true;
      case WM_NCPAINT:
        result = ContainerProc(top_, message, w, l);
        PaintBorderWidth();
        return true;
      case WM_SIZE:
        UpdateScrollBars();
        return false;
      case WM_HSCROLL:
      case WM_VSCROLL:
        if (l != 0 || !properties_.AutoScroll) return false;  // l: a scroll-bar control's own message
        Scroll(message == WM_HSCROLL ? SB_HORZ : SB_VERT, LOWORD(w), HIWORD(w));
        return true;
    }
    return false;
  }

 private:
  void Raise(const std::function<void()>& event) {
    if (event && !closing_) event();
  }

  // ---- activation: the focus entering or leaving the form's window tree

  bool Within(HWND window) const { return window && top_ && (window == top_ || IsChild(top_, window)); }
  void FocusArrived(HWND from) {
    if (!Within(from)) SetActive(true);
  }
  void FocusLeft(HWND to) {
    if (!Within(to)) SetActive(false);
  }
  void SetActive(bool active) {
    if (active == active_ || closing_) return;
    active_ = active;
    Raise(active ? OnActivate : OnDeactivate);
  }

  // Every child window reports its focus changes, and with KeyPreview its
  // characters go through the form's OnKeyPress first: 0 swallows one,
  // another value replaces it. This runs before the widget's own handling.
  bool ChildMessage(HWND, UINT message, WPARAM& w, LPARAM, LRESULT& result) override {
    switch (message) {
      case WM_CHAR:
        if (properties_.KeyPreview && OnKeyPress && !closing_) {
          char key = static_cast<char>(w);
          OnKeyPress(key);
          if (key == 0) {
            result = 0;
            return true;
          }
          w = static_cast<unsigned char>(key);
        }
        break;
      case WM_SETFOCUS: FocusArrived(reinterpret_cast<HWND>(w)); break;
      case WM_KILLFOCUS: FocusLeft(reinterpret_cast<HWND>(w)); break;
    }
    return false;
  }

  // ---- colour, font and frame

  // Children whose layout leaves their colour to their parent follow it, so
  // a change of the form's colour runs down the tree (parents come first).
  void Recolour() {
    formCore_->SetBackground(Resolve(properties_.Color));
    for (auto& widget : widgets_)
      if (auto* core = dynamic_cast<Core*>(widget.get()); core && core->FollowsColour() && core->ParentCore())
        core->SetBackground(core->ParentCore()->Background());
    RedrawWindow(top_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
  }
  void Refont(HFONT font) {
    const COLORREF colour = Resolve(properties_.Font.Colour);
    formCore_->SetFont(font, colour);
    for (auto& widget : widgets_)
      if (auto* core = dynamic_cast<Core*>(widget.get()); core && core->FollowsFont()) core->SetFont(font, colour);
    if (formFont_) DeleteObject(formFont_);
    formFont_ = font;
  }
  // None: no frame; Single: WS_BORDER; Sunken: WS_EX_CLIENTEDGE; Raised:
  // WS_EX_DLGMODALFRAME (with WS_EX_WINDOWEDGE), a double raised edge that
  // leaves the style bits alone, so a top-level form keeps its caption.
  // The style bits are only the form's own when it is a child window.
  void Reframe() {
    LONG_PTR style = GetWindowLongPtrA(top_, GWL_STYLE);
    LONG_PTR ex = GetWindowLongPtrA(top_, GWL_EXSTYLE);
    const bool child = style & WS_CHILD;
    if (child) style &= ~static_cast<LONG_PTR>(WS_BORDER | WS_DLGFRAME);
    ex &= ~static_cast<LONG_PTR>(WS_EX_CLIENTEDGE | WS_EX_DLGMODALFRAME | (child ? WS_EX_WINDOWEDGE : 0));
    switch (properties_.AxBorderStyle) {
      case FormBorder::None: break;
      case FormBorder::Single:
        if (child) style |= WS_BORDER;
        break;
      case FormBorder::Sunken: ex |= WS_EX_CLIENTEDGE; break;
      case FormBorder::Raised: ex |= WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE; break;
    }
    SetWindowLongPtrA(top_, GWL_STYLE, style);
    SetWindowLongPtrA(top_, GWL_EXSTYLE, ex);
    // The frame (with BorderWidth's band, WM_NCCALCSIZE) is measured again.
    SetWindowPos(top_, nullptr, 0, 0, 0, 0,
                 SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    RedrawWindow(top_, nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME);
    UpdateScrollBars();
  }
  // BorderWidth pixels around the client area, in the form's colour.
  void PaintBorderWidth() {
    const int width = properties_.BorderWidth;
    if (width <= 0) return;
    RECT window, client;
    GetWindowRect(top_, &window);
    GetClientRect(top_, &client);
    MapWindowPoints(top_, nullptr, reinterpret_cast<POINT*>(&client), 2);
    OffsetRect(&client, -window.left, -window.top);
    RECT band = client;
    InflateRect(&band, width, width);
    HDC dc = GetWindowDC(top_);
    ExcludeClipRect(dc, client.left, client.top, client.right, client.bottom);
    FillRect(dc, &band, formCore_->Brush());
    ReleaseDC(top_, dc);
  }

  // ---- AutoScroll: scroll bars over the extent of the form's children

  SIZE Extent() const {
    SIZE extent{0, 0};
    for (const auto& widget : widgets_) {
      auto* core = dynamic_cast<Core*>(widget.get());
      if (!core || core->ParentCore() != formCore_ || !core->Hwnd()) continue;
      if (!(GetWindowLongPtrA(core->Hwnd(), GWL_STYLE) & WS_VISIBLE)) continue;
      const RECT r = ClientRectOf(core->Hwnd(), top_);
      extent.cx = std::max<LONG>(extent.cx, r.right + scrollX_);
      extent.cy = std::max<LONG>(extent.cy, r.bottom + scrollY_);
    }
    return extent;
  }
  void UpdateScrollBars() {
    if (!top_ || !properties_.AutoScroll || scrolling_) return;
    scrolling_ = true;  // showing a bar resizes the client area (WM_SIZE)
    const SIZE extent = Extent();
    RECT client;
    GetClientRect(top_, &client);
    const LONG_PTR style = GetWindowLongPtrA(top_, GWL_STYLE);
    const int barWidth = GetSystemMetrics(SM_CXVSCROLL), barHeight = GetSystemMetrics(SM_CYHSCROLL);
    // The room without bars; a bar in one direction takes room from the other.
    int width = client.right + (style & WS_VSCROLL ? barWidth : 0);
    int height = client.bottom + (style & WS_HSCROLL ? barHeight : 0);
    bool horizontal = extent.cx > width, vertical = extent.cy > height;
    if (vertical && !horizontal) horizontal = extent.cx > width - barWidth;
    if (horizontal && !vertical) vertical = extent.cy > height - barHeight;
    if (vertical) width -= barWidth;
    if (horizontal) height -= barHeight;
    SetBar(SB_HORZ, horizontal, extent.cx, width);
    SetBar(SB_VERT, vertical, extent.cy, height);
    scrolling_ = false;
  }
  void SetBar(int bar, bool shown, int extent, int page) {
    const int position = bar == SB_HORZ ? scrollX_ : scrollY_;
    ScrollTo(bar, shown ? std::clamp(position, 0, std::max(0, extent - page)) : 0);
    SCROLLINFO info{};
    info.cbSize = sizeof info;
    info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
    info.nMax = shown ? extent - 1 : 0;
    info.nPage = shown ? static_cast<UINT>(page) : 0;
    info.nPos = bar == SB_HORZ ? scrollX_ : scrollY_;
    SetScrollInfo(top_, bar, &info, TRUE);
    ShowScrollBar(top_, bar, shown);
  }
  void Scroll(int bar, WORD code, WORD thumb) {
    SCROLLINFO info{};
    info.cbSize = sizeof info;
    info.fMask = SIF_ALL;
    GetScrollInfo(top_, bar, &info);
    int target = bar == SB_HORZ ? scrollX_ : scrollY_;
    switch (code) {
      case SB_LINEUP: target -= kScrollLine; break;
      case SB_LINEDOWN: target += kScrollLine; break;
      case SB_PAGEUP: target -= static_cast<int>(info.nPage); break;
      case SB_PAGEDOWN: target += static_cast<int>(info.nPage); break;
      case SB_THUMBTRACK:
      case SB_THUMBPOSITION: target = thumb; break;
      case SB_TOP: target = 0; break;
      case SB_BOTTOM: target = info.nMax; break;
      default: return;
    }
    const int last = std::max(0, info.nMax - static_cast<int>(info.nPage) + 1);
    ScrollTo(bar, std::clamp(target, 0, last));
  }
  // Moves the children so that `position` of the extent is at the client's
  // edge.
  void ScrollTo(int bar, int position) {
    int& current = bar == SB_HORZ ? scrollX_ : scrollY_;
    const int delta = position - current;
    if (delta == 0) return;
    current = position;
    for (HWND child = GetWindow(top_, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
      const RECT r = ClientRectOf(child, top_);
      SetWindowPos(child, nullptr, r.left - (bar == SB_HORZ ? delta : 0), r.top - (bar == SB_VERT ? delta : 0), 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    SetScrollPos(top_, bar, position, TRUE);
    InvalidateRect(top_, nullptr, TRUE);
  }

  // ---- building
  HFONT Font(const FontLayout& desc) {
    std::string key = std::string(desc.Face) + "/" + std::to_string(desc.Points) + (desc.Bold ? "b" : "");
    auto it = std::find_if(fonts_.begin(), fonts_.end(), [&](auto& f) { return f.first == key; });
    if (it != fonts_.end()) return it->second;
    HDC screen = GetDC(nullptr);
    const int height = -MulDiv(desc.Points, GetDeviceCaps(screen, LOGPIXELSY), 72);
    ReleaseDC(nullptr, screen);
    HFONT font = CreateFontA(height, 0, 0, 0, desc.Bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE, ANSI_CHARSET,
                             OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                             std::string(desc.Face).c_str());
    fonts_.emplace_back(key, font);
    return font;
  }
  Core* CoreNamed(std::string_view name) const { return dynamic_cast<Core*>(Find(name)); }

  void Add(const ComponentLayout& desc) {
    Core* parent = desc.Parent.empty() ? nullptr : CoreNamed(desc.Parent);
    std::unique_ptr<Control> control;
    if (desc.Kind == ComponentKind::Form) control = MakeFormWindow(desc);
    else if (!(control = MakeContainer(*this, desc, parent)) && !(control = MakeTree(*this, desc, parent, compare_)) &&
             !(control = MakeList(*this, desc, parent)))
      control = MakeSmall(*this, desc, parent);
    if (!control) throw std::logic_error("a component of an unknown kind: " + std::string(desc.Name));
    if (auto* core = dynamic_cast<Core*>(control.get()); core && core->Hwnd() && core->Hwnd() != top_) core->Hook();
    widgets_.push_back(std::move(control));
  }

  std::unique_ptr<Control> MakeFormWindow(const ComponentLayout& desc) {
    auto form = std::make_unique<Container>(desc, Frame::None);
    Configure(*form, desc, nullptr);
    const DWORD style = parent_ ? WS_CHILD | WS_CLIPCHILDREN
                                : WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
    RECT r{0, 0, desc.Bounds.Width, desc.Bounds.Height};
    AdjustWindowRectEx(&r, style, FALSE, 0);
    const std::string caption(desc.Caption);
    form->hwnd_ = CreateWindowExA(0, kFormClass, caption.c_str(), style, parent_ ? 0 : CW_USEDEFAULT,
                                  parent_ ? 0 : CW_USEDEFAULT, r.right - r.left, r.bottom - r.top, parent_, nullptr,
                                  ModuleInstance(), nullptr);
    if (!form->hwnd_) throw std::runtime_error("the form's window cannot be made");
    Attach(*form);
    top_ = form->hwnd_;
    formCore_ = form.get();
    properties_.Caption = caption;
    if (desc.Colour != ClDefault) properties_.Color = desc.Colour;
    properties_.Font.Name = desc.Font.Face;
    properties_.Font.Points = desc.Font.Points;
    properties_.Font.Bold = desc.Font.Bold;
    properties_.Font.Colour = desc.Font.Colour;
    properties_.Enabled = desc.Enabled;
    if (!desc.Enabled) EnableWindow(top_, FALSE);
    return form;
  }

  void Configure(Core& core, const ComponentLayout& desc, Core* parent) {
    core.form_ = this;
    core.parent_ = parent;
    core.font_ = Font(desc.Font);
    core.textColour_ = Resolve(desc.Font.Colour);
    core.followsFont_ = parent && IsDefaultFont(desc.Font);
    core.followsColour_ = parent && desc.Colour == ClDefault && desc.Kind != ComponentKind::Edit;
    if (desc.Colour != ClDefault) core.background_ = Resolve(desc.Colour);
    else core.background_ = parent ? parent->Background() : GetSysColor(COLOR_BTNFACE);
    if (desc.Kind == ComponentKind::Edit) core.background_ = GetSysColor(COLOR_WINDOW);
    core.brush_ = CreateSolidBrush(core.background_);
  }
  void Attach(Core& core) {
    core.Tie(core.hwnd_);
    SendMessageA(core.hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(core.font_), FALSE);
    // Later components lie over earlier ones, as the layout draws them.
    SetWindowPos(core.hwnd_, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  }

  vant::win32::Toolkit& toolkit_;
  HWND parent_;
  Toolkit::Compare compare_;
  HWND top_ = nullptr;
  Container* formCore_ = nullptr;
  std::vector<std::unique_ptr<Control>> widgets_;
  std::vector<std::pair<std::string, HFONT>> fonts_;
  HFONT formFont_ = nullptr;  // the Font property's, once a host set one
  bool closing_ = false, active_ = false, pressed_ = false, scrolling_ = false;
  int scrollX_ = 0, scrollY_ = 0;
};

LRESULT CALLBACK FormProc(HWND hwnd, UINT message, WPARAM w, LPARAM l) {
  LRESULT result = 0;
  // The form's own widget leads to it (a host may subclass the window itself).
  if (Core* self = OwnCoreOf(hwnd); self && self->Form()) {
    if (static_cast<FormImpl*>(self->Form())->FormMessage(message, w, l, result)) return result;
  }
  return ContainerProc(hwnd, message, w, l);
}

}  // namespace vant::win32::widgets

namespace vant::win32 {

std::unique_ptr<FormWindow> Toolkit::BuildForm(FormLayout layout) {
  auto form = std::make_unique<widgets::FormImpl>(*this, parent_, compare_);
  form->Build(layout);
  form_ = form->Top();
  return form;
}

}  // namespace vant::win32
