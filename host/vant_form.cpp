// vant-form.exe: a container of the control VANT1, so the program users run
// is the control itself. It embeds the control as any Windows program would,
// through ATL's control host (the "AtlAxWin" window class of the system's
// atl.dll), in a frame window that it sizes for the form and that the
// control follows.
//   vant-form.exe [--analyse X:] [--tab N] [--help-page N] [--hold-scan MS]
// --analyse selects drive X: in the form's tree as a click would and answers
// its analysis question with OK (for unattended runs such as screenshots);
// --tab and --help-page show a page of the form's tabs and of the help's
// tabs; --hold-scan keeps the analysis at its first step for MS milliseconds
// (still painting), so the progress panel can be looked at.
//
// The control is found through the registration-free manifest in this
// program's resources (VANTProj1.ocx beside the program), so it runs where
// nobody ran regsvr32. The form's internals are reached only as a user or
// any container reaches them: the control's window, then its child windows
// driven by their own messages. The question is answered as a user would:
// its box found among this thread's windows and its OK button pressed.
#include "platform/win32/win32_api.h"

#include <ole2.h>
#include <olectl.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "VANTProj1_h.h"

namespace {

struct Options {
  char Analyse = 0;
  int Tab = -1;
  int HelpPage = -1;
  int HoldScanMs = 0;
};

Options Parse(int argc, char** argv) {
  Options options;
  for (int i = 1; i + 1 < argc; ++i) {
    const std::string flag = argv[i];
    const char* value = argv[i + 1];
    if (flag == "--analyse") options.Analyse = static_cast<char>(value[0] & ~0x20), ++i;
    else if (flag == "--tab") options.Tab = std::atoi(value), ++i;
    else if (flag == "--help-page") options.HelpPage = std::atoi(value), ++i;
    else if (flag == "--hold-scan") options.HoldScanMs = std::atoi(value), ++i;
  }
  return options;
}

// ATL's control host; mingw ships no declarations for atl.dll.
struct AtlHost {
  using InitFn = BOOL(WINAPI*)();
  using GetControlFn = HRESULT(WINAPI*)(HWND, IUnknown**);
  HMODULE Module = LoadLibraryW(L"atl.dll");
  InitFn Init = reinterpret_cast<InitFn>(reinterpret_cast<void*>(Proc("AtlAxWinInit")));
  GetControlFn GetControl = reinterpret_cast<GetControlFn>(reinterpret_cast<void*>(Proc("AtlAxGetControl")));

  FARPROC Proc(const char* name) const { return Module ? GetProcAddress(Module, name) : nullptr; }
};

constexpr wchar_t kFrameClass[] = L"VANT.FormFrame";
constexpr wchar_t kControl[] = L"{B4BDF183-5E81-4659-A1DE-6F05CAD755CE}";
constexpr int kFormWidth = 779, kFormHeight = 499;
constexpr DWORD kFrameStyle = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;

HWND g_host = nullptr;  // the ATL host window filling the frame
int g_holdScanMs = 0;    // for the hold message, once the question is answered
constexpr UINT kHoldScan = WM_APP + 1;

// The form's one OK/Cancel box (the analysis question) on this thread, if up.
HWND QuestionBox() {
  HWND found = nullptr;
  EnumThreadWindows(
      GetCurrentThreadId(),
      [](HWND window, LPARAM l) CALLBACK -> BOOL {
        wchar_t kind[16] = {};
        GetClassNameW(window, kind, 16);
        if (lstrcmpW(kind, L"#32770") != 0 || !GetDlgItem(window, IDOK) || !GetDlgItem(window, IDCANCEL)) return TRUE;
        *reinterpret_cast<HWND*>(l) = window;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&found));
  return found;
}

// Ticks inside the box's own message loop: presses OK once, then stops. The
// hold goes to the queue first, so the analysis's first processing of
// messages meets it.
void CALLBACK AnswerQuestion(HWND, UINT, UINT_PTR timer, DWORD) {
  HWND box = QuestionBox();
  if (!box) return;
  KillTimer(nullptr, timer);
  if (g_holdScanMs > 0 && g_host) PostMessageW(GetParent(g_host), kHoldScan, 0, 0);
  SendMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, IDOK)));
}

LRESULT CALLBACK FrameProc(HWND hwnd, UINT message, WPARAM w, LPARAM l) {
  switch (message) {
    case WM_SIZE:
      // The host tells the control its new rectangle.
      if (g_host && w != SIZE_MINIMIZED) MoveWindow(g_host, 0, 0, LOWORD(l), HIWORD(l), TRUE);
      return 0;
    case WM_SETFOCUS:
      if (g_host)
        if (HWND form = GetWindow(g_host, GW_CHILD)) SetFocus(form);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    case kHoldScan:
      // Still painting, so the progress panel can be looked at.
      for (const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(g_holdScanMs); GetTickCount64() < end;) {
        MSG pending;
        while (PeekMessageW(&pending, nullptr, 0, 0, PM_REMOVE)) {
          TranslateMessage(&pending);
          DispatchMessageW(&pending);
        }
        Sleep(15);
      }
      return 0;
  }
  return DefWindowProcW(hwnd, message, w, l);
}

std::wstring SystemText(HRESULT hr) {
  wchar_t text[512] = {};
  FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, static_cast<DWORD>(hr), 0, text,
                 512, nullptr);
  wchar_t code[16];
  wsprintfW(code, L"0x%08X", static_cast<unsigned>(hr));
  return std::wstring(text) + L"(" + code + L")";
}

int Fail(const std::wstring& what, HRESULT hr) {
  MessageBoxW(nullptr, (what + L"\n" + SystemText(hr)).c_str(), L"VANT", MB_OK | MB_ICONERROR);
  return 1;
}

// ------------------------------------------- the form's windows, as a user meets them

std::wstring ClassOf(HWND window) {
  wchar_t kind[64] = {};
  GetClassNameW(window, kind, 64);
  return kind;
}

// Every descendant of `parent` of window class `kind`, in creation order.
std::vector<HWND> Descendants(HWND parent, const wchar_t* kind) {
  struct Search {
    const wchar_t* Kind;
    std::vector<HWND> Found;
  } search{kind, {}};
  EnumChildWindows(
      parent,
      [](HWND child, LPARAM l) CALLBACK -> BOOL {
        auto* s = reinterpret_cast<Search*>(l);
        if (lstrcmpiW(ClassOf(child).c_str(), s->Kind) == 0) s->Found.push_back(child);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.Found;
}

// The form's tab controls: the outer one, or the one inside a page of another.
HWND TabControl(HWND form, bool nested) {
  for (HWND tab : Descendants(form, WC_TABCONTROLW)) {
    bool inside = false;
    for (HWND up = GetParent(tab); up && up != form; up = GetParent(up))
      inside = inside || lstrcmpiW(ClassOf(up).c_str(), WC_TABCONTROLW) == 0;
    if (inside == nested) return tab;
  }
  return nullptr;
}

// A click on tab `index`: the selection, then the notification it sends.
void SelectTab(HWND tab, int index) {
  if (!tab) return;
  SendMessageW(tab, TCM_SETCURSEL, static_cast<WPARAM>(index), 0);
  NMHDR change{tab, static_cast<UINT_PTR>(GetDlgCtrlID(tab)), static_cast<UINT>(TCN_SELCHANGE)};
  SendMessageW(GetParent(tab), WM_NOTIFY, change.idFrom, reinterpret_cast<LPARAM>(&change));
}

std::string ItemText(HWND tree, HTREEITEM item) {
  char text[260] = {};
  TVITEMA data{};
  data.mask = TVIF_TEXT;
  data.hItem = item;
  data.pszText = text;
  data.cchTextMax = sizeof text;
  SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&data));
  return text;
}

// The first node at or after `from` (its siblings) or below them, depth
// first, whose text names drive `letter` ("X:\\ (NTFS)").
HTREEITEM DriveNode(HWND tree, HTREEITEM from, char letter) {
  for (HTREEITEM node = from; node; node = TreeView_GetNextSibling(tree, node)) {
    const std::string text = ItemText(tree, node);
    if (text.size() > 1 && (text[0] & ~0x20) == letter && text[1] == ':') return node;
    if (HTREEITEM below = DriveNode(tree, TreeView_GetChild(tree, node), letter)) return below;
  }
  return nullptr;
}

// Selects the node of drive `letter` as a click does: the form asks its
// question and analyses the drive.
void SelectDrive(HWND form, char letter) {
  for (HWND tree : Descendants(form, WC_TREEVIEWW))
    if (HTREEITEM node = DriveNode(tree, TreeView_GetRoot(tree), letter)) {
      TreeView_SelectItem(tree, node);
      return;
    }
}

void ProcessMessages() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(message.wParam));
      return;
    }
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

int Run(const Options& options, HINSTANCE instance) {
  g_holdScanMs = options.HoldScanMs;
  const AtlHost atl;
  if (!atl.Init || !atl.GetControl || !atl.Init())
    return Fail(L"ATL's control host (atl.dll) is not available.", HRESULT_FROM_WIN32(GetLastError()));

  WNDCLASSW wc{};
  wc.lpfnWndProc = FrameProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kFrameClass;
  if (!RegisterClassW(&wc)) return Fail(L"The window class cannot be registered.", HRESULT_FROM_WIN32(GetLastError()));
  RECT outer{0, 0, kFormWidth, kFormHeight};
  AdjustWindowRectEx(&outer, kFrameStyle, FALSE, 0);
  HWND frame = CreateWindowExW(0, kFrameClass, L"", kFrameStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                               outer.right - outer.left, outer.bottom - outer.top, nullptr, nullptr, instance, nullptr);
  if (!frame) return Fail(L"The window cannot be made.", HRESULT_FROM_WIN32(GetLastError()));
  // Shown first, so the control's activation (its focus) lands in an active window.
  ShowWindow(frame, SW_SHOW);
  RECT client{};
  GetClientRect(frame, &client);
  // The host makes the control from its window text and activates it in place.
  g_host = CreateWindowExW(0, L"AtlAxWin", kControl, WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0, client.right,
                           client.bottom, frame, nullptr, instance, nullptr);
  IUnknown* control = nullptr;
  const HRESULT hr = g_host ? atl.GetControl(g_host, &control) : HRESULT_FROM_WIN32(GetLastError());
  if (FAILED(hr) || !control) {
    // Told before the frame goes: its destruction ends the message loops.
    const int code = Fail(L"The control VANTProj1.VANT1 cannot be made (is VANTProj1.ocx beside vant-form.exe?).",
                          FAILED(hr) ? hr : REGDB_E_CLASSNOTREG);
    DestroyWindow(frame);
    return code;
  }

  HWND form = nullptr;
  IOleWindow* window = nullptr;
  if (SUCCEEDED(control->QueryInterface(IID_IOleWindow, reinterpret_cast<void**>(&window)))) {
    window->GetWindow(&form);
    window->Release();
  }
  IVANT* vant = nullptr;
  if (SUCCEEDED(control->QueryInterface(IID_IVANT, reinterpret_cast<void**>(&vant)))) {
    BSTR caption = nullptr;
    if (SUCCEEDED(vant->get_Caption(&caption))) SetWindowTextW(frame, caption);
    SysFreeString(caption);
    vant->Release();
  }
  control->Release();  // the host keeps its own

  UpdateWindow(frame);
  ProcessMessages();
  if (form) {
    if (options.Tab >= 0) SelectTab(TabControl(form, false), options.Tab);
    if (options.HelpPage >= 0) SelectTab(TabControl(form, true), options.HelpPage);
    if (options.Analyse) {
      SetTimer(nullptr, 0, 20, AnswerQuestion);
      SelectDrive(form, options.Analyse);
    }
  }
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return static_cast<int>(message.wParam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  // ATL's host needs a single-threaded apartment with OLE.
  if (FAILED(OleInitialize(nullptr))) return 1;
  const int exitCode = Run(Parse(__argc, __argv), instance);
  OleUninitialize();
  return exitCode;
}
