// An in-memory widget toolkit for tests and the command line. Message boxes
// and the save dialog answer from a script the caller sets up and record what
// was asked; processing pending messages runs the user actions queued by the
// caller, so re-entrant behaviour happens just as a user would cause it.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/toolkit.h"

namespace vant::headless {

struct AskedMessage {
  std::string Text, Caption;
  MsgButtons Buttons;
  MsgIcon Icon;
  MsgAnswer Answer;
  bool Scripted;
};

struct ShownNotice {
  std::string Text;
  NoticeKind Kind;
};

class Toolkit : public vant::Toolkit {
 public:
  using Compare = std::function<int(std::string_view, std::string_view)>;
  explicit Toolkit(Compare compare = {});

  std::unique_ptr<FormWindow> BuildForm(FormLayout layout) override;
  MsgAnswer MessageBox(std::string_view text, std::string_view caption, MsgButtons buttons, MsgIcon icon) override;
  void Notice(std::string_view text, NoticeKind kind) override;
  bool SaveDialog(SaveDialogOptions& options) override;
  int SetHourglass() override;
  void RestoreCursor(int token) override;
  void ProcessMessages() override;
  // Scripted actions are due at given pumps: by default long work pumps
  // whenever it checks, so a script's timing does not hang on the clock.
  std::chrono::microseconds PumpInterval() const override { return PumpEvery; }
  std::chrono::microseconds PumpEvery{0};

  // --- the script ---
  // The next message box gets this answer (first in, first out). Without a
  // scripted answer a box gets `UnscriptedAnswer` and is marked unscripted.
  void Answer(MsgAnswer answer) { answers_.push_back(answer); }
  MsgAnswer UnscriptedAnswer = MsgAnswer::Cancel;
  // The next save dialog chooses this path, or is dismissed when none.
  void ChooseFile(std::optional<std::string> path) { saves_.push_back(std::move(path)); }
  // Runs `action` at the `afterPumps`-th next processing of messages.
  void Queue(std::function<void()> action, int afterPumps = 1);
  // A handler for every processing of messages (a test's probe of the form's state).
  std::function<void()> OnPump;

  std::vector<AskedMessage> Asked;
  std::vector<ShownNotice> Notices;
  std::vector<SaveDialogOptions> SaveDialogs;  // as shown, before the answer
  std::size_t Pumps = 0;
  bool Hourglass() const { return hourglass_; }
  std::size_t PendingActions() const { return actions_.size(); }

 private:
  struct Pending {
    std::size_t DuePump;
    std::function<void()> Action;
  };
  Compare compare_;
  std::deque<MsgAnswer> answers_;
  std::deque<std::optional<std::string>> saves_;
  std::vector<Pending> actions_;
  bool hourglass_ = false;
  int nextToken_ = 1;
  std::map<int, bool> savedCursors_;
};

// A user's gestures on built widgets. Disabled or hidden widgets ignore them.
void Click(Button& button);
void Click(CheckBox& box);
void ClickNode(TreeView& tree, TreeNode node);
// Selects exactly `rows` and clicks the list.
void ClickRows(ListView& list, const std::vector<int>& rows);
// Types `keys` into `edit`; on a form with KeyPreview the form sees each first.
void Type(EditBox& edit, std::string_view keys, FormWindow* form = nullptr);
// Gestures on the form itself (a disabled or hidden form ignores them).
void PressKey(FormWindow& form, char& key);
void ClickForm(FormWindow& form);
void DoubleClickForm(FormWindow& form);
void PaintForm(FormWindow& form);
void ActivateForm(FormWindow& form, bool active);

// A node found by its text path below `from` ("Mi PC\\C:\\ (NTFS)"); null when absent.
TreeNode FindNode(const TreeView& tree, std::string_view path, TreeNode from = nullptr);
// The subtree as indented lines "text [image]".
std::string DumpTree(const TreeView& tree, TreeNode from = nullptr, int depth = 0);

}  // namespace vant::headless
