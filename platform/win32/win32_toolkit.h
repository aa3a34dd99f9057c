// The form's widgets as real Windows common controls, built from the same
// layout data as every other toolkit. User actions reach the form's handlers
// through the controls' own notifications (WM_COMMAND, WM_NOTIFY, WM_CHAR),
// so a test that sends a control its message drives the form as a user does.
#pragma once

#include "platform/win32/win32_api.h"

#include <functional>
#include <map>
#include <memory>

#include "platform/toolkit.h"
#include "platform/win32/dialogs.h"

namespace vant::win32 {

class Toolkit : public vant::Toolkit {
 public:
  using Compare = std::function<int(std::string_view, std::string_view)>;
  // `dialogs` answers the modal dialogs (null: the system's own, which a
  // user answers). `parent` non-null builds the form as its child window.
  // `compare` orders the tree's nodes (none: the system's order, lstrcmp's).
  explicit Toolkit(DialogAnswerer* dialogs = nullptr, HWND parent = nullptr, Compare compare = {});
  ~Toolkit() override;

  std::unique_ptr<FormWindow> BuildForm(FormLayout layout) override;
  MsgAnswer MessageBox(std::string_view text, std::string_view caption, MsgButtons buttons, MsgIcon icon) override;
  void Notice(std::string_view text, NoticeKind kind) override;
  bool SaveDialog(SaveDialogOptions& options) override;
  int SetHourglass() override;
  void RestoreCursor(int token) override;
  void ProcessMessages() override;

  bool Hourglass() const { return hourglass_ > 0; }
  // The window of the form built last (the save dialog's owner).
  HWND FormHandle() const { return form_; }

 private:
  DialogAnswerer* dialogs_;
  std::unique_ptr<DialogAnswerer> own_;
  HWND parent_;
  HWND form_ = nullptr;
  Compare compare_;
  int hourglass_ = 0;
  int nextToken_ = 1;
  std::map<int, HCURSOR> saved_;
};

// The window behind a control built by this toolkit (null for components
// without one, such as image lists).
HWND WindowOf(const Control& control);
// The image list behind an image-list component.
HIMAGELIST ImageListOf(const Control& control);
// Shows page `index` of a page control, as a click on its tab does.
void SelectPage(Control& pageControl, int index);
// The page control's shown page.
int SelectedPage(const Control& pageControl);

}  // namespace vant::win32
