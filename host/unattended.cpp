#include "host/unattended.h"

#include <cstdlib>
#include <string>
#include <utility>

namespace vant::host {
namespace {

std::string EnvironmentValue(const char* name) {
  char value[64] = {};
  const DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
  return length > 0 && length < sizeof value ? std::string(value, length) : std::string();
}

class HookedDialogs final : public win32::DialogAnswerer {
 public:
  explicit HookedDialogs(bool answerFirstQuestion) : pending_(answerFirstQuestion) {}

  int MessageBox(HWND owner, std::string_view text, std::string_view caption, UINT flags) override {
    const bool question = (flags & MB_TYPEMASK) == MB_OKCANCEL;
    int answer;
    if (question && pending_) {
      pending_ = false;
      answer = IDOK;
    } else {
      answer = system_.MessageBox(owner, text, caption, flags);
    }
    if (question && answer == IDOK) armed_ = true;
    return answer;
  }
  void Notice(HWND owner, std::string_view text, std::string_view caption, UINT flags) override {
    system_.Notice(owner, text, caption, flags);
  }
  bool SaveDialog(OPENFILENAMEA& request) override { return system_.SaveDialog(request); }

  // True once after each question answered OK.
  bool TakeArmed() { return std::exchange(armed_, false); }

 private:
  win32::SystemDialogs system_;
  bool pending_;
  bool armed_ = false;
};

class HookedToolkit final : public win32::Toolkit {
 public:
  HookedToolkit(std::unique_ptr<HookedDialogs> dialogs, int holdMs, HWND parent)
      : win32::Toolkit(dialogs.get(), parent), dialogs_(std::move(dialogs)), holdMs_(holdMs) {}

  void ProcessMessages() override {
    win32::Toolkit::ProcessMessages();
    if (holdMs_ <= 0 || !dialogs_->TakeArmed()) return;
    for (const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(holdMs_); GetTickCount64() < end;) {
      win32::Toolkit::ProcessMessages();
      Sleep(15);
    }
  }

 private:
  std::unique_ptr<HookedDialogs> dialogs_;
  int holdMs_;
};

}  // namespace

std::unique_ptr<win32::Toolkit> MakeToolkit(HWND parent) {
  const std::string unattended = EnvironmentValue("VANT_UNATTENDED");
  const bool answer = !unattended.empty() && unattended != "0";
  const int holdMs = std::atoi(EnvironmentValue("VANT_HOLD_SCAN_MS").c_str());
  if (!answer && holdMs <= 0) return std::make_unique<win32::Toolkit>(nullptr, parent);
  return std::make_unique<HookedToolkit>(std::make_unique<HookedDialogs>(answer), holdMs, parent);
}

}  // namespace vant::host
