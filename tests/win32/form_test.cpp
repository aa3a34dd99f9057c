// The form window's own properties and events, driven as a host drives it:
// the form built inside a parent window, its properties written and read
// back, and real window messages sent to it.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>

#include "platform/latin1.h"
#include "platform/win32/win32_toolkit.h"
#include "tests/win32/win32_test_support.h"
#include "workspace/form_layout.h"

namespace vant {
namespace {

using K = ComponentKind;

constexpr FontLayout kBlack8{"MS Sans Serif", 8, false, ClBlack};
constexpr FontLayout kArial14{"Arial", 14, true, ClNavy};

const ComponentLayout kForm[] = {
    {.Name = "Form", .Kind = K::Form, .Bounds = {0, 0, 400, 300}, .Caption = "Prueba", .Font = kBlack8,
     .Colour = ClBtnFace},
    {.Name = "Plain", .Kind = K::Panel, .Parent = "Form", .Bounds = {10, 10, 100, 60}},
    {.Name = "Follows", .Kind = K::Label, .Parent = "Plain", .Bounds = {5, 5, 80, 16}, .Caption = "sigue"},
    {.Name = "Navy", .Kind = K::Panel, .Parent = "Form", .Bounds = {120, 10, 100, 60}, .Colour = ClNavy},
    {.Name = "Own", .Kind = K::Label, .Parent = "Form", .Bounds = {10, 80, 100, 20}, .Caption = "propia",
     .Font = kArial14},
    {.Name = "Edit", .Kind = K::Edit, .Parent = "Form", .Bounds = {10, 110, 150, 24}},
    {.Name = "Far", .Kind = K::Panel, .Parent = "Form", .Bounds = {300, 250, 80, 40}},
};

// A host's window with the form built inside it, and a window of the host's
// own beside the form to take the focus away.
struct Hosted {
  Hosted() {
    host = CreateWindowExA(0, "STATIC", "host", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 0, 600, 500, nullptr,
                           nullptr, GetModuleHandleA(nullptr), nullptr);
    outside = CreateWindowExA(0, "EDIT", "", WS_CHILD | WS_VISIBLE, 450, 10, 100, 24, host, nullptr,
                              GetModuleHandleA(nullptr), nullptr);
    toolkit = std::make_unique<win32::Toolkit>(&dialogs, host);
    form = toolkit->BuildForm(kForm);
    top = win32::WindowOf(form->Get<Control>("Form"));
    ShowWindow(host, SW_SHOW);
  }
  ~Hosted() {
    form.reset();
    DestroyWindow(host);
  }
  HWND Window(std::string_view name) const { return win32::WindowOf(form->Get<Control>(name)); }
  void Set(const std::function<void(FormProperties&)>& change) {
    FormProperties p = form->Properties();
    change(p);
    form->SetProperties(p);
  }

  win32::ScriptedDialogs dialogs;
  HWND host = nullptr, outside = nullptr, top = nullptr;
  std::unique_ptr<win32::Toolkit> toolkit;
  std::unique_ptr<FormWindow> form;
};

// The colour (0x00BBGGRR) of pixel (x, y) of what `window` draws of its
// client area into a memory bitmap.
COLORREF PrintedPixel(HWND window, int x, int y) {
  RECT client;
  GetClientRect(window, &client);
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader = {sizeof info.bmiHeader, client.right, -client.bottom, 1, 32, BI_RGB};
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(dc, bitmap);
  SendMessageA(window, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT | PRF_ERASEBKGND);
  const COLORREF pixel = GetPixel(dc, x, y);
  SelectObject(dc, old);
  DeleteObject(bitmap);
  DeleteDC(dc);
  ReleaseDC(nullptr, screen);
  return pixel;
}

LOGFONTA FontOf(HWND window) {
  LOGFONTA font{};
  GetObjectA(reinterpret_cast<HFONT>(SendMessageA(window, WM_GETFONT, 0, 0)), sizeof font, &font);
  return font;
}

// The text colour a control's parent gives it for drawing its text.
COLORREF TextColourOf(HWND control) {
  HDC dc = CreateCompatibleDC(nullptr);
  SendMessageA(GetParent(control), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(control));
  const COLORREF colour = GetTextColor(dc);
  DeleteDC(dc);
  return colour;
}

LONG_PTR Style(HWND window) { return GetWindowLongPtrA(window, GWL_STYLE); }
LONG_PTR ExStyle(HWND window) { return GetWindowLongPtrA(window, GWL_EXSTYLE); }

TEST(Win32Form, PropertiesComeFromTheLayoutAndReadBack) {
  win32::ScriptedDialogs dialogs;
  win32::Toolkit toolkit(&dialogs);
  auto form = toolkit.BuildForm(Tvant1Layout());
  const FormProperties p = form->Properties();
  EXPECT_EQ(p.Caption, "VANT NTFS v 1.0");
  EXPECT_EQ(p.Color, ClBtnFace);
  EXPECT_EQ(p.Font.Name, "MS Sans Serif");
  EXPECT_EQ(p.Font.Points, 8);
  EXPECT_EQ(p.Font.Colour, ClBlack);
  EXPECT_FALSE(p.Visible);  // shown only when asked
  EXPECT_TRUE(p.Enabled);
  EXPECT_FALSE(p.Active);

  Hosted h;
  EXPECT_FALSE(IsWindowVisible(h.top));
  // Kept as given, with no visible meaning here.
  h.Set([](FormProperties& q) {
    q.AutoSize = true;
    q.PixelsPerInch = 120;
    q.Scaled = false;
    q.PrintScale = FormPrintScale::PrintToFit;
    q.HelpFile = "ayuda.hlp";
    q.DropTarget = true;
    q.KeyPreview = true;
    q.Active = true;  // read-only: ignored
    q.VisibleDockClientCount = 4;
  });
  const FormProperties kept = h.form->Properties();
  EXPECT_TRUE(kept.AutoSize);
  EXPECT_EQ(kept.PixelsPerInch, 120);
  EXPECT_FALSE(kept.Scaled);
  EXPECT_EQ(kept.PrintScale, FormPrintScale::PrintToFit);
  EXPECT_EQ(kept.HelpFile, "ayuda.hlp");
  EXPECT_TRUE(kept.DropTarget);
  EXPECT_TRUE(kept.KeyPreview);
  EXPECT_FALSE(kept.Active);
  EXPECT_EQ(kept.VisibleDockClientCount, 0);
  EXPECT_FALSE(kept.AlignDisabled);

  // Values a host must not set are refused, and nothing changes.
  const auto refused = [&](const std::function<void(FormProperties&)>& change) {
    EXPECT_THROW(h.Set(change), std::invalid_argument);
    EXPECT_EQ(h.form->Properties().BorderWidth, 0);
    EXPECT_EQ(h.form->Properties().PixelsPerInch, 120);
  };
  refused([](FormProperties& q) { q.AxBorderStyle = static_cast<FormBorder>(4); });
  refused([](FormProperties& q) {
    q.BorderWidth = 3;
    q.PixelsPerInch = 0;
  });
  refused([](FormProperties& q) { q.BorderWidth = -1; });
  refused([](FormProperties& q) { q.PrintScale = static_cast<FormPrintScale>(3); });
  EXPECT_EQ(h.form->Properties().AxBorderStyle, FormBorder::None);
}

TEST(Win32Form, VisiblePropertiesTakeEffect) {
  Hosted h;
  // Caption, visibility and state.
  h.Set([](FormProperties& p) { p.Caption = "Recuperación"_l1; });
  char text[64] = {};
  GetWindowTextA(h.top, text, sizeof text);
  EXPECT_EQ(std::string(text), std::string("Recuperación"_l1));
  EXPECT_EQ(h.form->Properties().Caption, std::string("Recuperación"_l1));
  EXPECT_EQ(h.form->Get<TextControl>("Form").Text(), std::string("Recuperación"_l1));
  h.Set([](FormProperties& p) { p.Visible = true; });
  EXPECT_TRUE(IsWindowVisible(h.top));
  EXPECT_TRUE(h.form->Properties().Visible);
  h.Set([](FormProperties& p) { p.Enabled = false; });
  EXPECT_FALSE(IsWindowEnabled(h.top));
  EXPECT_FALSE(h.form->Properties().Enabled);
  h.Set([](FormProperties& p) { p.Enabled = true; });
  EXPECT_TRUE(IsWindowEnabled(h.top));
  ShowWindow(h.top, SW_HIDE);  // the live state, whoever changed it
  EXPECT_FALSE(h.form->Properties().Visible);

  // The colour paints the form and the children that leave theirs to it.
  constexpr COLORREF kOchre = 0x00336699;
  EXPECT_EQ(PrintedPixel(h.top, 395, 5), GetSysColor(COLOR_BTNFACE));
  h.Set([](FormProperties& p) { p.Color = kOchre; });
  EXPECT_EQ(PrintedPixel(h.top, 395, 5), kOchre);
  EXPECT_EQ(PrintedPixel(h.Window("Plain"), 50, 50), kOchre);
  EXPECT_EQ(PrintedPixel(h.Window("Navy"), 50, 50), static_cast<COLORREF>(ClNavy));
  h.Set([](FormProperties& p) { p.Color = ClWindow; });  // system colours too
  EXPECT_EQ(PrintedPixel(h.Window("Plain"), 50, 50), GetSysColor(COLOR_WINDOW));

  // The font: children with the layout's default font follow it, with its
  // colour as their text colour; a child with a font of its own keeps it.
  const auto ownFont = SendMessageA(h.Window("Own"), WM_GETFONT, 0, 0);
  h.Set([](FormProperties& p) {
    p.Font.Name = "Arial";
    p.Font.Points = 12;
    p.Font.Italic = true;
    p.Font.Bold = true;
    p.Font.Colour = 0x000000C0;
  });
  const LOGFONTA follows = FontOf(h.Window("Follows"));
  EXPECT_EQ(std::string(follows.lfFaceName), "Arial");
  EXPECT_TRUE(follows.lfItalic);
  EXPECT_EQ(follows.lfWeight, FW_BOLD);
  EXPECT_EQ(TextColourOf(h.Window("Follows")), static_cast<COLORREF>(0x000000C0));
  EXPECT_EQ(SendMessageA(h.Window("Own"), WM_GETFONT, 0, 0), ownFont);
  EXPECT_EQ(TextColourOf(h.Window("Own")), static_cast<COLORREF>(ClNavy));
  EXPECT_EQ(h.form->Properties().Font.Name, "Arial");

  // The frame.
  const auto frame = [&](FormBorder border) {
    h.Set([&](FormProperties& p) { p.AxBorderStyle = border; });
    return std::pair{Style(h.top) & (WS_BORDER | WS_DLGFRAME),
                     ExStyle(h.top) & (WS_EX_CLIENTEDGE | WS_EX_DLGMODALFRAME)};
  };
  EXPECT_EQ(frame(FormBorder::Single), std::pair(static_cast<LONG_PTR>(WS_BORDER), LONG_PTR{0}));
  EXPECT_EQ(frame(FormBorder::Sunken), std::pair(LONG_PTR{0}, static_cast<LONG_PTR>(WS_EX_CLIENTEDGE)));
  EXPECT_EQ(frame(FormBorder::Raised), std::pair(LONG_PTR{0}, static_cast<LONG_PTR>(WS_EX_DLGMODALFRAME)));
  EXPECT_EQ(frame(FormBorder::None), std::pair(LONG_PTR{0}, LONG_PTR{0}));
  RECT before, after;
  GetClientRect(h.top, &before);
  h.Set([](FormProperties& p) { p.BorderWidth = 6; });
  GetClientRect(h.top, &after);
  EXPECT_EQ(after.right, before.right - 12);
  EXPECT_EQ(after.bottom, before.bottom - 12);
  h.Set([](FormProperties& p) { p.BorderWidth = 0; });
  GetClientRect(h.top, &after);
  EXPECT_EQ(after.right, before.right);

  h.Set([](FormProperties& p) { p.DoubleBuffered = true; });
  EXPECT_TRUE(ExStyle(h.top) & WS_EX_COMPOSITED);
  h.Set([](FormProperties& p) { p.DoubleBuffered = false; });
  EXPECT_FALSE(ExStyle(h.top) & WS_EX_COMPOSITED);
}

TEST(Win32Form, AutoScrollShowsBarsAndMovesTheChildren) {
  Hosted h;
  const auto topOf = [&](std::string_view name) {
    RECT r;
    GetWindowRect(h.Window(name), &r);
    MapWindowPoints(nullptr, h.top, reinterpret_cast<POINT*>(&r), 2);
    return std::pair{r.left, r.top};
  };
  // The children reach (380, 290): room enough, no bars.
  h.Set([](FormProperties& p) { p.AutoScroll = true; });
  EXPECT_FALSE(Style(h.top) & (WS_HSCROLL | WS_VSCROLL));
  // Smaller than the children's extent: both bars.
  SetWindowPos(h.top, nullptr, 0, 0, 200, 150, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  EXPECT_TRUE(Style(h.top) & WS_HSCROLL);
  EXPECT_TRUE(Style(h.top) & WS_VSCROLL);
  SCROLLINFO info{sizeof info, SIF_ALL};
  GetScrollInfo(h.top, SB_VERT, &info);
  EXPECT_EQ(info.nMax, 289);
  SendMessageA(h.top, WM_VSCROLL, MAKEWPARAM(SB_THUMBPOSITION, 40), 0);
  SendMessageA(h.top, WM_HSCROLL, MAKEWPARAM(SB_LINEDOWN, 0), 0);
  EXPECT_EQ(topOf("Far"), std::pair(300L - 16, 250L - 40));
  EXPECT_EQ(topOf("Plain"), std::pair(10L - 16, 10L - 40));
  SendMessageA(h.top, WM_VSCROLL, MAKEWPARAM(SB_BOTTOM, 0), 0);  // no further than the last page
  RECT client;
  GetClientRect(h.top, &client);
  EXPECT_EQ(topOf("Far").second + 40, client.bottom);
  // Off again: no bars, the children back in their places.
  h.Set([](FormProperties& p) { p.AutoScroll = false; });
  EXPECT_FALSE(Style(h.top) & (WS_HSCROLL | WS_VSCROLL));
  EXPECT_EQ(topOf("Far"), std::pair(300L, 250L));
  SendMessageA(h.top, WM_VSCROLL, MAKEWPARAM(SB_THUMBPOSITION, 40), 0);
  EXPECT_EQ(topOf("Far"), std::pair(300L, 250L));
}

TEST(Win32Form, EventsComeFromWindowMessages) {
  Hosted h;
  h.Set([](FormProperties& p) { p.Visible = true; });
  std::string seen;
  h.form->OnClick = [&] { seen += "click "; };
  h.form->OnDblClick = [&] { seen += "double "; };
  h.form->OnActivate = [&] { seen += "activate "; };
  h.form->OnDeactivate = [&] { seen += "deactivate "; };
  int paints = 0;
  h.form->OnPaint = [&] { ++paints; };

  // Press and release on the form's own area is a click; a release alone,
  // or one outside the form, is not. A double click is the form's own.
  const LPARAM inside = MAKELPARAM(395, 5);
  SendMessageA(h.top, WM_LBUTTONDOWN, MK_LBUTTON, inside);
  SendMessageA(h.top, WM_LBUTTONUP, 0, inside);
  SendMessageA(h.top, WM_LBUTTONUP, 0, inside);
  SendMessageA(h.top, WM_LBUTTONDOWN, MK_LBUTTON, inside);
  SendMessageA(h.top, WM_LBUTTONUP, 0, MAKELPARAM(-20, 5));
  EXPECT_EQ(seen, "click ");
  EXPECT_TRUE(GetClassLongPtrA(h.top, GCL_STYLE) & CS_DBLCLKS);
  SendMessageA(h.top, WM_LBUTTONDBLCLK, MK_LBUTTON, inside);
  SendMessageA(h.top, WM_LBUTTONUP, 0, inside);  // the double click's release clicks nothing
  EXPECT_EQ(seen, "click double ");

  // Painting, after the form painted itself.
  InvalidateRect(h.top, nullptr, TRUE);
  UpdateWindow(h.top);
  EXPECT_GE(paints, 1);

  // The focus entering the form's window tree activates it, moving inside
  // it changes nothing, leaving it deactivates it.
  seen.clear();
  SetFocus(h.Window("Edit"));
  EXPECT_TRUE(h.form->Properties().Active);
  SetFocus(h.top);
  SetFocus(h.Window("Edit"));
  EXPECT_EQ(seen, "activate ");
  SetFocus(h.outside);
  EXPECT_EQ(seen, "activate deactivate ");
  EXPECT_FALSE(h.form->Properties().Active);
  SetFocus(h.top);
  EXPECT_EQ(seen, "activate deactivate activate ");
  {
    // A form of its own (no host) follows its window's activation too.
    win32::ScriptedDialogs dialogs;
    win32::Toolkit toolkit(&dialogs);
    auto alone = toolkit.BuildForm(kForm);
    std::string events;
    alone->OnActivate = [&] { events += "activate "; };
    alone->OnDeactivate = [&] { events += "deactivate "; };
    HWND window = win32::WindowOf(alone->Get<Control>("Form"));
    SendMessageA(window, WM_ACTIVATE, WA_ACTIVE, 0);
    SendMessageA(window, WM_ACTIVATE, WA_INACTIVE, 0);
    EXPECT_EQ(events, "activate deactivate ");
  }

  // Characters sent to the form itself.
  std::string keys;
  h.form->OnKeyPress = [&](char& key) {
    keys += key;
    if (key == 'a') key = 'A';
    if (key == '*') key = 0;
  };
  SendMessageA(h.top, WM_CHAR, 'x', 1);
  SendMessageA(h.top, WM_CHAR, static_cast<unsigned char>('\xF1'), 1);
  EXPECT_EQ(keys, "x\xF1");

  // KeyPreview: the form sees a control's characters first, and the control
  // (with its own handler) gets the form's replacement or nothing.
  auto& edit = h.form->Get<EditBox>("Edit");
  std::string editSaw;
  edit.OnKeyPress = [&](char& key) { editSaw += key; };
  const auto type = [&](std::string_view text) {
    for (char c : text) SendMessageA(h.Window("Edit"), WM_CHAR, static_cast<unsigned char>(c), 1);
  };
  keys.clear();
  type("a*b");
  EXPECT_EQ(keys, "");  // no preview yet
  EXPECT_EQ(edit.Text(), "a*b");
  h.Set([](FormProperties& p) { p.KeyPreview = true; });
  edit.SetText("");
  editSaw.clear();
  type("a*b");
  EXPECT_EQ(keys, "a*b");
  EXPECT_EQ(editSaw, "Ab");
  EXPECT_EQ(edit.Text(), "Ab");
}

HINSTANCE ThisModule() {
  HMODULE module = nullptr;
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCSTR>(&ThisModule), &module);
  return module;
}

// The toolkit's classes belong to the module it is linked into; one left by
// an earlier load with another window procedure is replaced, unless windows
// of it still live.
TEST(Win32Form, WindowClassesAreTheModulesOwn) {
  const HINSTANCE module = ThisModule();
  UnregisterClassA("VantForm", module);
  WNDCLASSA stale{};
  stale.lpfnWndProc = DefWindowProcA;
  stale.hInstance = module;
  stale.lpszClassName = "VantForm";
  ASSERT_TRUE(RegisterClassA(&stale));
  {
    HWND lingering = CreateWindowExA(0, "VantForm", "", 0, 0, 0, 10, 10, nullptr, nullptr, module, nullptr);
    ASSERT_NE(lingering, nullptr);
    win32::ScriptedDialogs dialogs;
    EXPECT_THROW(win32::Toolkit toolkit(&dialogs), std::runtime_error);
    DestroyWindow(lingering);
  }
  Hosted h;
  WNDCLASSA now{};
  ASSERT_TRUE(GetClassInfoA(module, "VantForm", &now));
  EXPECT_NE(now.lpfnWndProc, &DefWindowProcA);
  EXPECT_EQ(reinterpret_cast<HINSTANCE>(GetClassLongPtrA(h.top, GCLP_HMODULE)), module);
  EXPECT_EQ(reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(h.Window("Plain"), GWLP_HINSTANCE)), module);
  // The form answers as the toolkit's form does.
  int clicks = 0;
  h.form->OnClick = [&] { ++clicks; };
  SendMessageA(h.top, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(395, 5));
  SendMessageA(h.top, WM_LBUTTONUP, 0, MAKELPARAM(395, 5));
  EXPECT_EQ(clicks, 1);
}

}  // namespace
}  // namespace vant
