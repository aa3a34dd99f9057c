// The toolkit's own services (message boxes, notices, the save dialog, the
// hourglass, the message loop) and its window classes. The widgets live in
// win32_containers, win32_tree, win32_lists and win32_controls; the form
// window in win32_form.
#include "platform/win32/win32_toolkit.h"

#include <stdexcept>
#include <string>

#include "platform/win32/win32_widgets.h"

namespace vant::win32 {
namespace widgets {

HINSTANCE ModuleInstance() {
  // The address of a function of this module names the module, whichever
  // program loaded it and wherever it was loaded.
  HMODULE module = nullptr;
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCSTR>(&ModuleInstance), &module);
  return module;
}

namespace {

std::string SystemMessage(DWORD error) {
  char text[512] = {};
  const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, text,
                                 sizeof text, nullptr);
  std::string message(text, n);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' '))
    message.pop_back();
  return message.empty() ? "error " + std::to_string(error) : message;
}

// A class of the same name may be left over from an earlier load of this
// module at the same address (classes outlive an unloaded DLL), with a
// window procedure that no longer exists: it is replaced.
void Register(const char* name, WNDPROC procedure, UINT style) {
  const HINSTANCE instance = ModuleInstance();
  WNDCLASSA existing{};
  if (GetClassInfoA(instance, name, &existing)) {
    if (existing.lpfnWndProc == procedure && existing.style == style) return;
    if (!UnregisterClassA(name, instance))
      throw std::runtime_error(std::string("the window class ") + name + " cannot be replaced: " +
                               SystemMessage(GetLastError()));
  }
  WNDCLASSA wc{};
  wc.style = style;
  wc.lpfnWndProc = procedure;
  wc.hInstance = instance;
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.lpszClassName = name;
  if (!RegisterClassA(&wc))
    throw std::runtime_error(std::string("the window class ") + name + " cannot be registered: " +
                             SystemMessage(GetLastError()));
}

}  // namespace

void RegisterClasses() {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_TREEVIEW_CLASSES | ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS |
                                                     ICC_TAB_CLASSES | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  // The form tells a double click from two clicks.
  Register(kFormClass, FormProc, CS_DBLCLKS);
  Register(kContainerClass, ContainerProc, 0);
  Register(kPictureClass, ContainerProc, 0);
}

}  // namespace widgets

Toolkit::Toolkit(DialogAnswerer* dialogs, HWND parent, Compare compare)
    : dialogs_(dialogs), parent_(parent), compare_(std::move(compare)) {
  widgets::RegisterClasses();
  if (!dialogs_) {
    own_ = std::make_unique<SystemDialogs>();
    dialogs_ = own_.get();
  }
}

Toolkit::~Toolkit() = default;

MsgAnswer Toolkit::MessageBox(std::string_view text, std::string_view caption, MsgButtons buttons, MsgIcon icon) {
  switch (dialogs_->MessageBox(nullptr, text, caption, MessageBoxFlags(buttons, icon))) {
    case IDOK: return MsgAnswer::Ok;
    case IDYES: return MsgAnswer::Yes;
    case IDNO: return MsgAnswer::No;
    default: return MsgAnswer::Cancel;
  }
}

void Toolkit::Notice(std::string_view text, NoticeKind kind) {
  dialogs_->Notice(form_, text, NoticeCaption(kind), NoticeFlags(kind));
}

bool Toolkit::SaveDialog(SaveDialogOptions& options) {
  char file[MAX_PATH] = {};
  options.FileName.copy(file, sizeof file - 1);
  OPENFILENAMEA request{};
  request.lStructSize = sizeof request;
  request.hwndOwner = form_;
  request.lpstrFile = file;
  request.nMaxFile = sizeof file;
  request.lpstrTitle = options.Title.c_str();
  request.Flags = SaveDialogFlags(options);
  if (!dialogs_->SaveDialog(request)) return false;
  options.FileName = file;
  return true;
}

int Toolkit::SetHourglass() {
  const int token = nextToken_++;
  saved_[token] = SetCursor(LoadCursor(nullptr, IDC_WAIT));
  ++hourglass_;
  return token;
}

void Toolkit::RestoreCursor(int token) {
  auto it = saved_.find(token);
  if (it == saved_.end()) return;
  SetCursor(it->second);
  saved_.erase(it);
  --hourglass_;
}

void Toolkit::ProcessMessages() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(message.wParam));  // for the host's own loop
      break;
    }
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

HWND WindowOf(const Control& control) {
  const auto* core = dynamic_cast<const widgets::Core*>(&control);
  return core ? core->Hwnd() : nullptr;
}

HIMAGELIST ImageListOf(const Control& control) { return widgets::PlainImages(&control); }

}  // namespace vant::win32
