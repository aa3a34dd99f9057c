// The widget toolkit the form needs: exactly the operations its handlers use.
// A toolkit builds a whole form from its layout (platform/layout.h); the form
// then finds its components by name and wires its handlers to their events.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/layout.h"

namespace vant {

// A node of a tree view. Opaque: each toolkit gives it its own meaning.
struct TreeNodeTag;
using TreeNode = TreeNodeTag*;

class Control {
 public:
  virtual ~Control() = default;
  virtual std::string_view Name() const = 0;
  virtual void SetVisible(bool visible) = 0;
  virtual bool Visible() const = 0;
  virtual void SetEnabled(bool enabled) = 0;
  virtual bool Enabled() const = 0;
};

class TreeView : public Control {
 public:
  // Adds a node as the last child of `parent` (null: a root node).
  virtual TreeNode AddChild(TreeNode parent, std::string_view text, void* data, int image, int selectedImage) = 0;
  // Deletes a node with its subtree; the deletion event runs once per node.
  virtual void Delete(TreeNode node) = 0;
  virtual void DeleteChildren(TreeNode node) = 0;
  // Moves a node to the end of its parent's children.
  virtual void MoveToEnd(TreeNode node) = 0;
  // Sorts the children of `node` (null: the roots) by text, recursively when asked.
  virtual void SortChildren(TreeNode node, bool recursive) = 0;
  // Makes `node` the selected node; the change event runs when it differs.
  virtual void Select(TreeNode node) = 0;
  virtual TreeNode Selected() const = 0;

  virtual TreeNode Parent(TreeNode node) const = 0;
  virtual TreeNode FirstChild(TreeNode node) const = 0;  // null node: first root
  virtual TreeNode NextSibling(TreeNode node) const = 0;
  virtual std::string Text(TreeNode node) const = 0;
  virtual void* Data(TreeNode node) const = 0;
  virtual void SetData(TreeNode node, void* data) = 0;
  virtual int Image(TreeNode node) const = 0;
  virtual void SetImage(TreeNode node, int image, int selectedImage) = 0;
  virtual std::size_t Count() const = 0;
  virtual void SetDoubleBuffered(bool on) = 0;

  std::function<void(TreeNode)> OnChange;
  std::function<void()> OnClick;
  std::function<void(TreeNode)> OnDeletion;
};

// A list keeps of each row only its picture and its data: the captions are
// asked of `TextsOf` when a row is shown or read, so a row costs nothing
// until someone looks at it (a folder may hold 100,000 files).
class ListView : public Control {
 public:
  virtual void Clear() = 0;
  // Appends a row; returns its index.
  virtual int AddRow(int image, void* data) = 0;
  virtual int RowCount() const = 0;
  virtual int SelectedCount() const = 0;
  // The next selected row after `row` in display order (-1 starts), or -1.
  virtual int NextSelected(int row) const = 0;
  virtual void* RowData(int row) const = 0;
  virtual int RowImage(int row) const = 0;
  virtual std::string RowText(int row, int column) const = 0;  // column 1 = "Nombre"
  virtual void SetRowSelected(int row, bool selected) = 0;
  virtual void SetDoubleBuffered(bool on) = 0;

  // The captions of the columns after the first (which carries only the
  // picture) of the row holding `data`.
  std::function<std::vector<std::string>(void* data)> TextsOf;
  std::function<void()> OnClick;

 protected:
  // The texts of row `row` (holding `data`), made once while its columns
  // are read one after the other, by a caller or by a window painting it.
  // A list forgets them when its rows change.
  const std::vector<std::string>& RowTexts(int row, void* data) const {
    if (row != textsRow_) {
      texts_ = TextsOf ? TextsOf(data) : std::vector<std::string>();
      textsRow_ = row;
    }
    return texts_;
  }
  std::string ColumnText(int row, void* data, int column) const {
    const std::vector<std::string>& texts = RowTexts(row, data);
    return column >= 1 && static_cast<std::size_t>(column) <= texts.size() ? texts[column - 1] : std::string();
  }
  void ForgetTexts() { textsRow_ = -1; }

 private:
  mutable int textsRow_ = -1;
  mutable std::vector<std::string> texts_;
};

class ProgressBar : public Control {
 public:
  virtual void SetMax(std::int64_t max) = 0;
  virtual std::int64_t Max() const = 0;
  virtual void SetPosition(std::int64_t position) = 0;
  virtual std::int64_t Position() const = 0;
};

class TextControl : public Control {  // labels, panels with captions, static texts
 public:
  virtual void SetText(std::string_view text) = 0;
  virtual std::string Text() const = 0;
};

class ImageBox : public Control {
 public:
  // Shows picture `index` of the box's image list; -1 clears the box.
  virtual void ShowImage(int index) = 0;
  virtual int ImageIndex() const = 0;
  virtual void Redraw() = 0;
};

class CheckBox : public Control {
 public:
  // Sets the state without running the click handler.
  virtual void SetChecked(bool checked) = 0;
  virtual bool Checked() const = 0;
  std::function<void()> OnClick;
};

class Button : public Control {
 public:
  std::function<void()> OnClick;
};

class EditBox : public Control {
 public:
  virtual void SetText(std::string_view text) = 0;
  virtual std::string Text() const = 0;
  // Sees each typed character; setting it to 0 swallows the key.
  std::function<void(char& key)> OnKeyPress;
};

class FilterBox : public Control {
 public:
  virtual int ItemCount() const = 0;
  virtual int SelectedIndex() const = 0;
  virtual void SetSelectedIndex(int index) = 0;
  virtual std::string ItemText(int index) const = 0;
  virtual std::string Mask() const = 0;  // the selected item's mask
  // The user picked another item (not raised by SetSelectedIndex).
  std::function<void()> OnChange;
};

// The form's frame around its client area, as a host of the control sets it.
enum class FormBorder : std::uint8_t { None = 0, Single = 1, Sunken = 2, Raised = 3 };
enum class FormPrintScale : std::uint8_t { None = 0, Proportional = 1, PrintToFit = 2 };

struct FormFont {
  std::string Name = "MS Sans Serif";
  int Points = 8;
  bool Bold = false, Italic = false, Underline = false, Strikeout = false;
  std::int16_t Charset = 0;  // ANSI
  std::uint32_t Colour = ClWindowText;
  bool operator==(const FormFont&) const = default;
};

// The form's own properties: what a host reads, writes and saves. Children
// whose layout leaves their colour or font to their parent follow the form's.
struct FormProperties {
  std::string Caption;  // 8-bit text
  std::uint32_t Color = ClBtnFace;
  FormFont Font;
  bool Visible = false;
  bool Enabled = true;
  bool AutoScroll = false;
  bool AutoSize = false;
  FormBorder AxBorderStyle = FormBorder::None;
  int BorderWidth = 0;
  bool KeyPreview = false;
  int PixelsPerInch = 96;
  FormPrintScale PrintScale = FormPrintScale::Proportional;
  bool Scaled = true;
  bool DropTarget = false;
  std::string HelpFile;
  bool DoubleBuffered = false;
  // Read-only: the form's state, filled in by Properties().
  bool Active = false;
  bool AlignDisabled = false;
  int VisibleDockClientCount = 0;
};

// A built form: owns every widget made from its layout.
class FormWindow {
 public:
  virtual ~FormWindow() = default;
  virtual Control* Find(std::string_view name) const = 0;
  template <class T>
  T& Get(std::string_view name) const {
    auto* found = dynamic_cast<T*>(Find(name));
    if (!found) throw std::logic_error("form component missing or of another kind: " + std::string(name));
    return *found;
  }
  virtual void Show() = 0;

  // The form's own properties with its live state (visibility, activation).
  virtual FormProperties Properties() const { return properties_; }
  // Replaces the writable properties (the read-only ones are ignored); the
  // toolkit shows what changed. Throws when the toolkit cannot realise one.
  void SetProperties(const FormProperties& next) {
    // Refused before anything changes, so a bad value never half-applies.
    if (static_cast<unsigned>(next.AxBorderStyle) > 3) throw std::invalid_argument("border style out of range");
    if (static_cast<unsigned>(next.PrintScale) > 2) throw std::invalid_argument("print scale out of range");
    if (next.BorderWidth < 0 || next.BorderWidth > 1000) throw std::invalid_argument("border width out of range");
    if (next.PixelsPerInch <= 0 || next.PixelsPerInch > 10000) throw std::invalid_argument("pixels per inch out of range");
    if (next.Font.Points <= 0 || next.Font.Points > 1000) throw std::invalid_argument("font size out of range");
    FormProperties previous = Properties();
    FormProperties kept = next;
    kept.Active = previous.Active;
    kept.AlignDisabled = previous.AlignDisabled;
    kept.VisibleDockClientCount = previous.VisibleDockClientCount;
    properties_ = kept;
    Realise(previous);
  }

  // What the form's parent tells it: a host's ambient colour and font, and
  // that its 3-D look changed. The form keeps its own colour and font (it
  // does not follow its parent's) and remembers what it was told.
  void ParentColourChanged(std::uint32_t colour) { parentColour_ = colour; }
  void ParentFontChanged(const FormFont& font) { parentFont_ = font; }
  void ParentCtl3DChanged() { ++parentCtl3DChanges_; }
  std::optional<std::uint32_t> ParentColour() const { return parentColour_; }
  std::optional<FormFont> ParentFont() const { return parentFont_; }
  int ParentCtl3DChanges() const { return parentCtl3DChanges_; }

  // The form's own events, raised by the toolkit from the user's actions
  // (on Windows from the window's messages). OnKeyPress sees a character
  // key (before the focused control when KeyPreview is set); setting it to
  // 0 swallows it. OnCreate and OnDestroy are raised by the form's owner.
  std::function<void()> OnActivate, OnClick, OnCreate, OnDblClick, OnDeactivate, OnDestroy, OnPaint;
  std::function<void(char& key)> OnKeyPress;

 protected:
  // Makes the toolkit's window follow `properties_`, which replaced `previous`.
  virtual void Realise(const FormProperties& previous) {}
  FormProperties properties_;

 private:
  std::optional<std::uint32_t> parentColour_;
  std::optional<FormFont> parentFont_;
  int parentCtl3DChanges_ = 0;
};

enum class MsgButtons : std::uint8_t { Ok, OkCancel, YesNo };
enum class MsgIcon : std::uint8_t { None, Question, Information, Warning, Error };
enum class MsgAnswer : std::uint8_t { Ok = 1, Cancel = 2, Yes = 6, No = 7 };
enum class NoticeKind : std::uint8_t { Information, Warning };

struct SaveDialogOptions {
  std::string Title;
  std::string FileName;  // proposed name in, chosen path out
  bool OverwritePrompt = true;
  bool HideReadOnly = true;
  bool Resizable = true;
};

class Toolkit {
 public:
  virtual ~Toolkit() = default;
  virtual std::unique_ptr<FormWindow> BuildForm(FormLayout layout) = 0;

  // A plain modal message box without owner window.
  virtual MsgAnswer MessageBox(std::string_view text, std::string_view caption, MsgButtons buttons, MsgIcon icon) = 0;
  // The toolkit's message dialog with one "OK" button.
  virtual void Notice(std::string_view text, NoticeKind kind) = 0;
  // The save-file dialog; true with the chosen path in `options.FileName`.
  virtual bool SaveDialog(SaveDialogOptions& options) = 0;
  // Shows the hourglass; returns a token to restore the previous cursor.
  virtual int SetHourglass() = 0;
  virtual void RestoreCursor(int token) = 0;
  // Runs the window messages (user actions) that are waiting.
  virtual void ProcessMessages() = 0;
  // How much work may pass between two ProcessMessages calls: a window
  // system wants them every few milliseconds (each costs a round trip); a
  // scripted toolkit may want them as often as the work checks.
  virtual std::chrono::microseconds PumpInterval() const { return std::chrono::milliseconds(10); }
};

}  // namespace vant
