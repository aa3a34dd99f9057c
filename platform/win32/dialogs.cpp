#include "platform/win32/dialogs.h"

#include <commdlg.h>

#include <cstring>

#include "platform/latin1.h"

namespace vant::win32 {

UINT MessageBoxFlags(MsgButtons buttons, MsgIcon icon) {
  UINT flags = MB_TASKMODAL;
  switch (buttons) {
    case MsgButtons::Ok: flags |= MB_OK; break;
    case MsgButtons::OkCancel: flags |= MB_OKCANCEL; break;
    case MsgButtons::YesNo: flags |= MB_YESNO; break;
  }
  switch (icon) {
    case MsgIcon::None: break;
    case MsgIcon::Question: flags |= MB_ICONQUESTION; break;
    case MsgIcon::Information: flags |= MB_ICONINFORMATION; break;
    case MsgIcon::Warning: flags |= MB_ICONWARNING; break;
    case MsgIcon::Error: flags |= MB_ICONERROR; break;
  }
  return flags;
}

DWORD SaveDialogFlags(const SaveDialogOptions& options) {
  DWORD flags = OFN_EXPLORER | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR;
  if (options.OverwritePrompt) flags |= OFN_OVERWRITEPROMPT;
  if (options.HideReadOnly) flags |= OFN_HIDEREADONLY;
  if (options.Resizable) flags |= OFN_ENABLESIZING;
  return flags;
}

std::string NoticeCaption(NoticeKind kind) {
  return std::string(kind == NoticeKind::Warning ? "Advertencia" : "Información"_l1);
}

UINT NoticeFlags(NoticeKind kind) {
  return MB_OK | MB_TASKMODAL | (kind == NoticeKind::Warning ? MB_ICONWARNING : MB_ICONINFORMATION);
}

int SystemDialogs::MessageBox(HWND owner, std::string_view text, std::string_view caption, UINT flags) {
  return MessageBoxA(owner, std::string(text).c_str(), std::string(caption).c_str(), flags);
}

void SystemDialogs::Notice(HWND owner, std::string_view text, std::string_view caption, UINT flags) {
  MessageBoxA(owner, std::string(text).c_str(), std::string(caption).c_str(), flags);
}

bool SystemDialogs::SaveDialog(OPENFILENAMEA& request) { return GetSaveFileNameA(&request) != FALSE; }

int ScriptedDialogs::MessageBox(HWND owner, std::string_view text, std::string_view caption, UINT flags) {
  const bool scripted = !answers_.empty();
  int answer = UnscriptedAnswer;
  if (scripted) {
    answer = answers_.front();
    answers_.pop_front();
  }
  Boxes.push_back({owner, std::string(text), std::string(caption), flags, answer, scripted});
  return answer;
}

void ScriptedDialogs::Notice(HWND owner, std::string_view text, std::string_view caption, UINT flags) {
  Notices.push_back({owner, std::string(text), std::string(caption), flags, IDOK, false});
}

bool ScriptedDialogs::SaveDialog(OPENFILENAMEA& request) {
  AskedSave asked{request.hwndOwner, request.lpstrTitle ? request.lpstrTitle : "",
                  request.lpstrFile ? request.lpstrFile : "", request.Flags, false};
  std::optional<std::string> choice;
  if (!saves_.empty()) {
    choice = std::move(saves_.front());
    saves_.pop_front();
  }
  // The system refuses a path longer than the caller's buffer.
  if (choice && choice->size() < request.nMaxFile) {
    std::memcpy(request.lpstrFile, choice->c_str(), choice->size() + 1);
    asked.Chosen = true;
  }
  const bool chosen = asked.Chosen;
  Saves.push_back(std::move(asked));
  return chosen;
}

}  // namespace vant::win32
