// vant-form.exe: shows the form TVANT1 in a top-level window.
//   vant-form.exe [--analyse X:] [--tab N] [--help-page N] [--hold-scan MS]
// --analyse selects drive X: as a click would and answers its analysis
// question with OK (for unattended runs such as screenshots); --tab and
// --help-page show a page of the form's tabs and of the help's tabs;
// --hold-scan keeps the analysis at its first step for MS milliseconds
// (still painting), so the progress panel can be looked at.
#include "platform/win32/win32_api.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/win32/dialogs.h"
#include "platform/win32/win32_system.h"
#include "platform/win32/win32_toolkit.h"
#include "workspace/tvant1.h"

namespace {

struct Options {
  char Analyse = 0;
  int Tab = -1;
  int HelpPage = -1;
  int HoldScanMs = 0;
};

// Holds the first processing of messages after it is armed, painting all
// the while: the scan's first pump comes right after its panel is shown.
class HoldingToolkit : public vant::win32::Toolkit {
 public:
  using vant::win32::Toolkit::Toolkit;
  int HoldMs = 0;
  bool Armed = false;
  void ProcessMessages() override {
    vant::win32::Toolkit::ProcessMessages();
    if (!Armed || HoldMs <= 0) return;
    Armed = false;
    for (const ULONGLONG end = GetTickCount64() + HoldMs; GetTickCount64() < end;) {
      vant::win32::Toolkit::ProcessMessages();
      Sleep(15);
    }
  }
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

// Answers the analysis question with OK; everything else goes to the user.
class Unattended : public vant::win32::DialogAnswerer {
 public:
  int MessageBox(HWND owner, std::string_view text, std::string_view caption, UINT flags) override {
    if (!answered_ && (flags & MB_TYPEMASK) == MB_OKCANCEL) {
      answered_ = true;
      return IDOK;
    }
    return system_.MessageBox(owner, text, caption, flags);
  }
  void Notice(HWND owner, std::string_view text, std::string_view caption, UINT flags) override {
    system_.Notice(owner, text, caption, flags);
  }
  bool SaveDialog(OPENFILENAMEA& request) override { return system_.SaveDialog(request); }

 private:
  vant::win32::SystemDialogs system_;
  bool answered_ = false;
};

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  const Options options = Parse(__argc, __argv);
  Unattended unattended;
  vant::win32::System system;
  HoldingToolkit toolkit(options.Analyse ? &unattended : nullptr);
  toolkit.HoldMs = options.HoldScanMs;
  int exitCode = 0;
  {
    vant::TVANT1 form(toolkit, system);
    form.Window().Show();
    toolkit.ProcessMessages();
    if (options.Tab >= 0) vant::win32::SelectPage(form.Get<vant::Control>("PageControl1"), options.Tab);
    if (options.HelpPage >= 0) vant::win32::SelectPage(form.Get<vant::Control>("PageControl2"), options.HelpPage);
    if (options.Analyse) {
      auto& tree = form.Get<vant::TreeView>("TreeView1");
      for (vant::TreeNode n = tree.FirstChild(form.MyComputerNode()); n; n = tree.NextSibling(n))
        if (tree.Text(n)[0] == options.Analyse) {
          toolkit.Armed = true;
          tree.Select(n);
        }
    }
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
    exitCode = static_cast<int>(message.wParam);
  }
  return exitCode;
}
