// Inside the Windows toolkit: what every widget kind shares (its window,
// colours and font, the events its parent passes on) and the makers that
// turn a layout component of each kind into a widget. Not for callers of
// the toolkit: they see win32_toolkit.h only.
#pragma once

#include "platform/win32/win32_api.h"

#include <memory>
#include <string>
#include <string_view>

#include "platform/toolkit.h"
#include "platform/win32/win32_toolkit.h"

namespace vant::win32::widgets {

inline constexpr char kFormClass[] = "VantForm";
inline constexpr char kContainerClass[] = "VantContainer";
inline constexpr char kPictureClass[] = "VantPicture";

// The module (exe or DLL) this toolkit is linked into: its window classes
// and windows belong to it, not to whatever program loaded it.
HINSTANCE ModuleInstance();
// Registers the toolkit's window classes for ModuleInstance(), replacing a
// class of the same name left with another window procedure.
void RegisterClasses();

COLORREF Resolve(std::uint32_t colour);
bool IsDefaultFont(const FontLayout& font);

// What a widget asks of the form that holds it.
class Owner {
 public:
  virtual ~Owner() = default;
  virtual bool Busy() const = 0;
  // Sees every message of a child widget's window first (focus, keys):
  // true when it handled the message, with `result`.
  virtual bool ChildMessage(HWND /*child*/, UINT /*message*/, WPARAM& /*w*/, LPARAM /*l*/, LRESULT& /*result*/) {
    return false;
  }
};

LRESULT CALLBACK WidgetProc(HWND hwnd, UINT message, WPARAM w, LPARAM l);

// The part every windowed widget shares: its window, colours and font, and
// the events its parent window passes on to it.
class Core {
 public:
  virtual ~Core() {
    Unhook();
    if (brush_) DeleteObject(brush_);
  }
  HWND Hwnd() const { return hwnd_; }
  COLORREF Background() const { return background_; }
  HBRUSH Brush() const { return brush_; }
  HFONT Font() const { return font_; }
  Owner* Form() const { return form_; }
  Core* ParentCore() const { return parent_; }

  virtual void Command(WORD /*code*/) {}
  virtual LRESULT Notify(NMHDR* /*header*/) { return 0; }
  virtual bool DrawItem(const DRAWITEMSTRUCT& /*item*/) { return false; }
  virtual void Paint(HDC /*dc*/, const RECT& /*client*/) {}
  // Runs while every window still exists, children before parents.
  virtual void BeforeDestroy() {}
  // A message of the widget's own window, after its form's look and before
  // its class handles it: true when handled, with `result`.
  virtual bool OwnMessage(UINT /*message*/, WPARAM& /*w*/, LPARAM /*l*/, LRESULT& /*result*/) { return false; }

  // Ties the window to this widget: its user data, then (for a child of
  // the form) its messages through WidgetProc. Window properties would do
  // as well but cost a round trip to the window server per message on
  // some systems, and a list asks for every cell it paints by a message.
  void Tie(HWND window) { SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this)); }
  void Hook() {
    previous_ = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&WidgetProc)));
  }
  void Unhook() {
    if (!previous_) return;
    if (IsWindow(hwnd_)) {
      SetWindowLongPtrA(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous_));
      SetWindowLongPtrA(hwnd_, GWLP_USERDATA, 0);
    }
    previous_ = nullptr;
  }
  WNDPROC Previous() const { return previous_; }
  // Colours of a child that asks its parent (labels, check boxes, edits).
  HBRUSH Colours(HDC dc) {
    SetTextColor(dc, textColour_);
    SetBkColor(dc, background_);
    return brush_;
  }

  // Takes a new background, font or text colour (the form's, which this
  // widget follows) and shows it.
  void SetBackground(COLORREF colour);
  void SetFont(HFONT font, COLORREF textColour);
  // Whether the layout leaves the background or the font to the parent.
  bool FollowsColour() const { return followsColour_; }
  bool FollowsFont() const { return followsFont_; }

 protected:
  // A kind that shows its font or colours other than through its parent's
  // colour messages applies them here.
  virtual void Restyled() {}

  friend class FormImpl;
  HWND hwnd_ = nullptr;
  Owner* form_ = nullptr;
  Core* parent_ = nullptr;
  COLORREF background_ = 0;
  COLORREF textColour_ = 0;
  HBRUSH brush_ = nullptr;
  HFONT font_ = nullptr;
  bool followsColour_ = false, followsFont_ = false, fixedBackground_ = false;
  std::string caption_;
  WNDPROC previous_ = nullptr;
};

// The widget of a child window of a form, or null for any other window
// (a notification may come from a window that is not ours).
inline Core* CoreOf(HWND hwnd) {
  if (!hwnd || reinterpret_cast<WNDPROC>(GetWindowLongPtrA(hwnd, GWLP_WNDPROC)) != &WidgetProc) return nullptr;
  return reinterpret_cast<Core*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
}
// The widget of a window of our own classes (a container, the form).
inline Core* OwnCoreOf(HWND hwnd) { return reinterpret_cast<Core*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA)); }

template <class Interface>
class Widget : public Interface, public Core {
 public:
  explicit Widget(const ComponentLayout& desc) : name_(desc.Name), visible_(desc.Visible), enabled_(desc.Enabled) {}
  std::string_view Name() const override { return name_; }
  void SetVisible(bool visible) override {
    visible_ = visible;
    if (hwnd_) ShowWindow(hwnd_, visible ? SW_SHOW : SW_HIDE);
  }
  bool Visible() const override { return visible_; }
  void SetEnabled(bool enabled) override {
    enabled_ = enabled;
    if (hwnd_) EnableWindow(hwnd_, enabled);
  }
  bool Enabled() const override { return hwnd_ ? IsWindowEnabled(hwnd_) != FALSE : enabled_; }

 private:
  std::string name_;
  bool visible_, enabled_;
};

enum class Frame { None, Panel, Group };

// The form, panels, group boxes and tab sheets: windows of our own class,
// painting their frame and caption and passing their children's events on.
class Container : public Widget<TextControl> {
 public:
  Container(const ComponentLayout& desc, Frame frame) : Widget(desc), frame_(frame), bevels_(desc.Bevels) {}
  void SetText(std::string_view text) override;
  std::string Text() const override { return caption_; }
  void SetCaption(std::string caption) { caption_ = std::move(caption); }
  void Paint(HDC dc, const RECT& client) override;

 private:
  Frame frame_;
  std::uint8_t bevels_;
};

// What a widget kind's maker asks of the form it builds into.
class Builder {
 public:
  virtual ~Builder() = default;
  // Makes `core`'s child window of class `windowClass` inside `parent`,
  // with the layout's place, visibility, state, font and colours.
  virtual void Window(Core& core, const ComponentLayout& desc, Core* parent, const char* windowClass,
                      const std::string& text, DWORD style, DWORD exStyle = 0) = 0;
  virtual HIMAGELIST ImagesNamed(std::string_view name) const = 0;
};

// The window procedure of the containers (and the form's, for what is not
// the form's own): children's notifications, colours, painting.
LRESULT CALLBACK ContainerProc(HWND hwnd, UINT message, WPARAM w, LPARAM l);
// The form window's procedure: its own mouse, keyboard, focus, frame and
// scrolling messages, the rest as a container.
LRESULT CALLBACK FormProc(HWND hwnd, UINT message, WPARAM w, LPARAM l);

// The makers, one per group of kinds; each answers null for a kind it does
// not make. Page controls, tab sheets, panels, group boxes:
std::unique_ptr<Control> MakeContainer(Builder& builder, const ComponentLayout& desc, Core* parent);
std::unique_ptr<Control> MakeTree(Builder& builder, const ComponentLayout& desc, Core* parent,
                                  const Toolkit::Compare& compare);
// List views and filter boxes:
std::unique_ptr<Control> MakeList(Builder& builder, const ComponentLayout& desc, Core* parent);
// Labels, help pages, pictures, bars, checks, buttons, edits, image lists,
// the save dialog's settings:
std::unique_ptr<Control> MakeSmall(Builder& builder, const ComponentLayout& desc, Core* parent);

// The image list of an image-list component (null for any other).
HIMAGELIST PlainImages(const Control* control);

}  // namespace vant::win32::widgets
