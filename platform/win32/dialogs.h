// The modal dialogs the toolkit shows: message boxes, notices and the save
// dialog. They block until a user answers (forever where nobody can, as under
// Wine's null display), so the toolkit asks through this seam: the system's
// dialogs by default, a script in tests.
#pragma once

#include "platform/win32/win32_api.h"

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "platform/toolkit.h"

namespace vant::win32 {

class DialogAnswerer {
 public:
  virtual ~DialogAnswerer() = default;
  // MessageBoxA with `flags` (see MessageBoxFlags); answers IDOK, IDYES...
  virtual int MessageBox(HWND owner, std::string_view text, std::string_view caption, UINT flags) = 0;
  // A message box with one OK button that only informs.
  virtual void Notice(HWND owner, std::string_view text, std::string_view caption, UINT flags) = 0;
  // GetSaveFileNameA on a filled structure; the chosen path in its buffer.
  virtual bool SaveDialog(OPENFILENAMEA& request) = 0;
};

// The flags of MessageBoxA for the form's buttons and icons.
UINT MessageBoxFlags(MsgButtons buttons, MsgIcon icon);
// The Flags of OPENFILENAMEA for the form's save options.
DWORD SaveDialogFlags(const SaveDialogOptions& options);
// Caption and MessageBoxA flags of a notice (the one-button message dialog).
std::string NoticeCaption(NoticeKind kind);
UINT NoticeFlags(NoticeKind kind);

class SystemDialogs : public DialogAnswerer {
 public:
  int MessageBox(HWND owner, std::string_view text, std::string_view caption, UINT flags) override;
  void Notice(HWND owner, std::string_view text, std::string_view caption, UINT flags) override;
  bool SaveDialog(OPENFILENAMEA& request) override;
};

// What a dialog was asked, as the system would have been asked it.
struct AskedBox {
  HWND Owner;
  std::string Text, Caption;
  UINT Flags;
  int Answer;
  bool Scripted;
};
struct AskedSave {
  HWND Owner;
  std::string Title, FileName;
  DWORD Flags;
  bool Chosen;
};

// Answers from a script, first in first out, and records every request.
class ScriptedDialogs : public DialogAnswerer {
 public:
  void Answer(int id) { answers_.push_back(id); }
  void ChooseFile(std::optional<std::string> path) { saves_.push_back(std::move(path)); }
  int UnscriptedAnswer = IDCANCEL;

  int MessageBox(HWND owner, std::string_view text, std::string_view caption, UINT flags) override;
  void Notice(HWND owner, std::string_view text, std::string_view caption, UINT flags) override;
  bool SaveDialog(OPENFILENAMEA& request) override;

  std::vector<AskedBox> Boxes;
  std::vector<AskedBox> Notices;
  std::vector<AskedSave> Saves;

 private:
  std::deque<int> answers_;
  std::deque<std::optional<std::string>> saves_;
};

}  // namespace vant::win32
