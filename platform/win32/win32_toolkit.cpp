#include "platform/win32/win32_toolkit.h"

#include <windowsx.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/icons.h"
#include "platform/win32/image_lists.h"

namespace vant::win32 {
namespace {

constexpr char kContainerClass[] = "VantContainer";
constexpr char kPictureClass[] = "VantPicture";
constexpr char kCoreProperty[] = "VantCore";

COLORREF Resolve(std::uint32_t colour) {
  if (colour & ClSysFlag) return GetSysColor(static_cast<int>(colour & 0xFF));
  return static_cast<COLORREF>(colour);
}

class FormImpl;

// The part every windowed widget shares: its window, colours and font, and
// the events its parent window passes on to it.
class Core {
 public:
  virtual ~Core() {
    if (brush_) DeleteObject(brush_);
  }
  HWND Hwnd() const { return hwnd_; }
  COLORREF Background() const { return background_; }
  HBRUSH Brush() const { return brush_; }
  FormImpl* Form() const { return form_; }

  virtual void Command(WORD /*code*/) {}
  virtual LRESULT Notify(NMHDR* /*header*/) { return 0; }
  virtual bool DrawItem(const DRAWITEMSTRUCT& /*item*/) { return false; }
  virtual void Paint(HDC /*dc*/, const RECT& /*client*/) {}
  // Runs while every window still exists, children before parents.
  virtual void BeforeDestroy() {}
  // Colours of a child that asks its parent (labels, check boxes, edits).
  HBRUSH Colours(HDC dc) {
    SetTextColor(dc, textColour_);
    SetBkColor(dc, background_);
    return brush_;
  }

 protected:
  friend class FormImpl;
  HWND hwnd_ = nullptr;
  FormImpl* form_ = nullptr;
  COLORREF background_ = 0;
  COLORREF textColour_ = 0;
  HBRUSH brush_ = nullptr;
  HFONT font_ = nullptr;
  std::string caption_;
};

Core* CoreOf(HWND hwnd) { return hwnd ? static_cast<Core*>(GetPropA(hwnd, kCoreProperty)) : nullptr; }

template <class Interface>
class Widget : public Interface, public Core {
 public:
  explicit Widget(const ComponentLayout& desc) : name_(desc.Name), visible_(desc.Visible), enabled_(desc.Enabled) {}
  std::string_view Name() const override { return name_; }
  void SetVisible(bool visible) override {
    visible_ = visible;
    if (hwnd_) ShowWindow(hwnd_, visible ? SW_SHOW : SW_HIDE);
  }
  bool Visible() const override { return visible_; }
  void SetEnabled(bool enabled) override {
    enabled_ = enabled;
    if (hwnd_) EnableWindow(hwnd_, enabled);
  }
  bool Enabled() const override { return hwnd_ ? IsWindowEnabled(hwnd_) != FALSE : enabled_; }

 private:
  std::string name_;
  bool visible_, enabled_;
};

std::string ToCrLf(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 16);
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) out += '\r';
    out += text[i];
  }
  return out;
}

// ------------------------------------------------------------ containers

enum class Frame { None, Panel, Group };

// The form, panels, group boxes and tab sheets: windows of our own class,
// painting their frame and caption and passing their children's events on.
class Container : public Widget<TextControl> {
 public:
  Container(const ComponentLayout& desc, Frame frame) : Widget(desc), frame_(frame), bevels_(desc.Bevels) {}
  void SetText(std::string_view text) override {
    caption_ = text;
    if (frame_ == Frame::None) SetWindowTextA(hwnd_, caption_.c_str());
    InvalidateRect(hwnd_, nullptr, TRUE);
  }
  std::string Text() const override { return caption_; }

  void Paint(HDC dc, const RECT& client) override {
    RECT r = client;
    HGDIOBJ oldFont = SelectObject(dc, font_);
    SetTextColor(dc, textColour_);
    SetBkMode(dc, TRANSPARENT);
    if (frame_ == Frame::Panel) {
      if (bevels_ & BevelLoweredOuter) {
        DrawEdge(dc, &r, BDR_SUNKENOUTER, BF_RECT | BF_ADJUST);
      }
      if (bevels_ & BevelRaisedInner) DrawEdge(dc, &r, BDR_RAISEDINNER, BF_RECT | BF_ADJUST);
      if (!caption_.empty())
        DrawTextA(dc, caption_.c_str(), static_cast<int>(caption_.size()), &r,
                  DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    } else if (frame_ == Frame::Group) {
      TEXTMETRICA metrics{};
      GetTextMetricsA(dc, &metrics);
      r.top += metrics.tmHeight / 2;
      DrawEdge(dc, &r, EDGE_ETCHED, BF_RECT);
      SIZE size{};
      GetTextExtentPoint32A(dc, caption_.c_str(), static_cast<int>(caption_.size()), &size);
      RECT text{8, 0, 8 + size.cx + 4, metrics.tmHeight};
      FillRect(dc, &text, brush_);
      TextOutA(dc, 10, 0, caption_.c_str(), static_cast<int>(caption_.size()));
    }
    SelectObject(dc, oldFont);
  }

 private:
  Frame frame_;
  std::uint8_t bevels_;
};

// --------------------------------------------------------------- statics

class Label : public Widget<TextControl> {
 public:
  explicit Label(const ComponentLayout& desc) : Widget(desc), autoSize_(desc.Bounds.Width == 0) {}
  void SetText(std::string_view text) override {
    caption_ = text;
    SetWindowTextA(hwnd_, caption_.c_str());
    if (autoSize_) FitText();
  }
  std::string Text() const override { return caption_; }
  // Labels without a size take the size of their text.
  void FitText() {
    HDC dc = GetDC(hwnd_);
    HGDIOBJ old = SelectObject(dc, font_);
    SIZE size{};
    GetTextExtentPoint32A(dc, caption_.c_str(), static_cast<int>(caption_.size()), &size);
    SelectObject(dc, old);
    ReleaseDC(hwnd_, dc);
    SetWindowPos(hwnd_, nullptr, 0, 0, size.cx + 1, size.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  bool AutoSize() const { return autoSize_; }

 private:
  bool autoSize_;
};

// A read-only scrolling page of text.
class HelpPage : public Widget<TextControl> {
 public:
  using Widget::Widget;
  void SetText(std::string_view text) override {
    caption_ = text;
    SetWindowTextA(hwnd_, ToCrLf(text).c_str());
  }
  std::string Text() const override { return caption_; }
};

class Picture : public Widget<ImageBox> {
 public:
  Picture(const ComponentLayout& desc, HIMAGELIST images) : Widget(desc), images_(images), index_(desc.ImageIndex) {}
  void ShowImage(int index) override {
    index_ = index;
    InvalidateRect(hwnd_, nullptr, TRUE);
  }
  int ImageIndex() const override { return index_; }
  void Redraw() override { RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW); }
  void Paint(HDC dc, const RECT&) override {
    if (images_ && index_ >= 0) ImageList_Draw(images_, index_, dc, 0, 0, ILD_TRANSPARENT);
  }

 private:
  HIMAGELIST images_;
  int index_;
};

// ------------------------------------------------------------- the tree

class Tree : public Widget<TreeView> {
 public:
  Tree(const ComponentLayout& desc, Toolkit::Compare compare) : Widget(desc), compare_(std::move(compare)) {}

  TreeNode AddChild(TreeNode parent, std::string_view text, void* data, int image, int selectedImage) override {
    auto* item = new Item{std::string(text), data, 0};
    TVINSERTSTRUCTA insert{};
    insert.hParent = parent ? Of(parent) : TVI_ROOT;
    insert.hInsertAfter = TVI_LAST;
    insert.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_PARAM;
    insert.item.pszText = item->text.data();
    insert.item.iImage = image;
    insert.item.iSelectedImage = selectedImage;
    insert.item.lParam = reinterpret_cast<LPARAM>(item);
    auto handle = reinterpret_cast<HTREEITEM>(SendMessageA(hwnd_, TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&insert)));
    if (!handle) {
      delete item;
      return nullptr;
    }
    return reinterpret_cast<TreeNode>(handle);
  }
  void Delete(TreeNode node) override {
    if (!node) return;
    Quietly([&] {
      // The selection leaves the subtree first, so the control picks no
      // other node on its own (and no change event runs).
      if (Within(Selected(), node)) TreeView_SelectItem(hwnd_, nullptr);
      TreeView_DeleteItem(hwnd_, Of(node));
    });
  }
  void DeleteChildren(TreeNode node) override {
    if (!node) {
      Quietly([&] {
        TreeView_SelectItem(hwnd_, nullptr);
        TreeView_DeleteAllItems(hwnd_);
      });
      return;
    }
    while (TreeNode child = FirstChild(node)) Delete(child);
  }
  void MoveToEnd(TreeNode node) override {
    // Reordering through the control's sort keeps every node's handle.
    TreeNode parent = Parent(node);
    int order = 0;
    for (TreeNode c = FirstChild(parent); c; c = NextSibling(c)) ItemOf(c)->order = ++order;
    ItemOf(node)->order = INT_MAX;
    SortBy(parent, true);
  }
  void SortChildren(TreeNode node, bool recursive) override {
    std::vector<TreeNode> work{node};
    while (!work.empty()) {
      TreeNode n = work.back();
      work.pop_back();
      int order = 0;
      for (TreeNode c = FirstChild(n); c; c = NextSibling(c)) {
        ItemOf(c)->order = ++order;  // equal texts keep their order
        if (recursive) work.push_back(c);
      }
      SortBy(n, false);
    }
  }
  void Select(TreeNode node) override {
    if (node == Selected()) return;
    TreeView_SelectItem(hwnd_, Of(node));
  }
  TreeNode Selected() const override { return Node(TreeView_GetSelection(hwnd_)); }
  TreeNode Parent(TreeNode node) const override { return Node(TreeView_GetParent(hwnd_, Of(node))); }
  TreeNode FirstChild(TreeNode node) const override {
    return Node(node ? TreeView_GetChild(hwnd_, Of(node)) : TreeView_GetRoot(hwnd_));
  }
  TreeNode NextSibling(TreeNode node) const override { return Node(TreeView_GetNextSibling(hwnd_, Of(node))); }
  std::string Text(TreeNode node) const override { return ItemOf(node)->text; }
  void* Data(TreeNode node) const override { return ItemOf(node)->data; }
  void SetData(TreeNode node, void* data) override { ItemOf(node)->data = data; }
  int Image(TreeNode node) const override {
    TVITEMA item{};
    item.mask = TVIF_IMAGE;
    item.hItem = Of(node);
    SendMessageA(hwnd_, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
    return item.iImage;
  }
  void SetImage(TreeNode node, int image, int selectedImage) override {
    TVITEMA item{};
    item.mask = TVIF_IMAGE | TVIF_SELECTEDIMAGE;
    item.hItem = Of(node);
    item.iImage = image;
    item.iSelectedImage = selectedImage;
    SendMessageA(hwnd_, TVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&item));
  }
  std::size_t Count() const override { return TreeView_GetCount(hwnd_); }
  void SetDoubleBuffered(bool on) override {
    TreeView_SetExtendedStyle(hwnd_, on ? TVS_EX_DOUBLEBUFFER : 0, TVS_EX_DOUBLEBUFFER);
  }

  LRESULT Notify(NMHDR* header) override {
    auto* change = reinterpret_cast<NMTREEVIEWA*>(header);
    switch (header->code) {
      case TVN_SELCHANGEDA:
      case TVN_SELCHANGEDW:
        if (!quiet_ && OnChange) OnChange(Node(change->itemNew.hItem));
        break;
      case TVN_DELETEITEMA:
      case TVN_DELETEITEMW: {
        auto* item = reinterpret_cast<Item*>(change->itemOld.lParam);
        dying_ = change->itemOld.hItem;
        dyingItem_ = item;
        if (OnDeletion) OnDeletion(Node(change->itemOld.hItem));
        dying_ = nullptr;
        dyingItem_ = nullptr;
        delete item;
        break;
      }
      case NM_CLICK:
        if (OnClick) OnClick();
        break;
    }
    return 0;
  }
  // Every node goes, each with its deletion event, while the form still listens.
  void BeforeDestroy() override { DeleteChildren(nullptr); }

 private:
  struct Item {
    std::string text;
    void* data;
    int order;
  };
  static HTREEITEM Of(TreeNode node) { return reinterpret_cast<HTREEITEM>(node); }
  static TreeNode Node(HTREEITEM item) { return reinterpret_cast<TreeNode>(item); }

  Item* ItemOf(TreeNode node) const {
    if (node && Of(node) == dying_) return dyingItem_;  // the control is letting it go
    TVITEMA item{};
    item.mask = TVIF_PARAM;
    item.hItem = Of(node);
    SendMessageA(hwnd_, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
    return reinterpret_cast<Item*>(item.lParam);
  }
  bool Within(TreeNode node, TreeNode top) const {
    for (; node; node = Parent(node))
      if (node == top) return true;
    return false;
  }
  template <class F>
  void Quietly(F&& f) {
    const bool was = quiet_;
    quiet_ = true;
    f();
    quiet_ = was;
  }

  struct SortRequest {
    Tree* tree;
    bool byOrderOnly;
  };
  static int CALLBACK CompareItems(LPARAM a, LPARAM b, LPARAM context) {
    auto* request = reinterpret_cast<SortRequest*>(context);
    auto* x = reinterpret_cast<Item*>(a);
    auto* y = reinterpret_cast<Item*>(b);
    if (!request->byOrderOnly) {
      if (int c = request->tree->compare_(x->text, y->text)) return c;
    }
    return x->order < y->order ? -1 : x->order > y->order ? 1 : 0;
  }
  void SortBy(TreeNode parent, bool byOrderOnly) {
    SortRequest request{this, byOrderOnly};
    TVSORTCB sort{};
    sort.hParent = parent ? Of(parent) : TVI_ROOT;
    sort.lpfnCompare = CompareItems;
    sort.lParam = reinterpret_cast<LPARAM>(&request);
    SendMessageA(hwnd_, TVM_SORTCHILDRENCB, 0, reinterpret_cast<LPARAM>(&sort));
  }

  Toolkit::Compare compare_;
  bool quiet_ = false;
  HTREEITEM dying_ = nullptr;
  Item* dyingItem_ = nullptr;
};

// ------------------------------------------------------------- the lists

class List : public Widget<ListView> {
 public:
  using Widget::Widget;
  void Clear() override { ListView_DeleteAllItems(hwnd_); }
  int AddRow(int image, const std::vector<std::string>& texts, void* data) override {
    LVITEMA item{};
    item.mask = LVIF_IMAGE | LVIF_PARAM | LVIF_TEXT;
    item.iItem = RowCount();
    item.iImage = image;
    item.lParam = reinterpret_cast<LPARAM>(data);
    char empty[] = "";
    item.pszText = empty;
    const int row = static_cast<int>(SendMessageA(hwnd_, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
    if (row < 0) return row;
    for (std::size_t k = 0; k < texts.size(); ++k) {
      LVITEMA sub{};
      sub.iSubItem = static_cast<int>(k + 1);
      sub.pszText = const_cast<char*>(texts[k].c_str());
      SendMessageA(hwnd_, LVM_SETITEMTEXTA, row, reinterpret_cast<LPARAM>(&sub));
    }
    return row;
  }
  int RowCount() const override { return ListView_GetItemCount(hwnd_); }
  int SelectedCount() const override { return static_cast<int>(ListView_GetSelectedCount(hwnd_)); }
  int NextSelected(int row) const override { return ListView_GetNextItem(hwnd_, row, LVNI_SELECTED); }
  void* RowData(int row) const override { return reinterpret_cast<void*>(Get(row, LVIF_PARAM).lParam); }
  int RowImage(int row) const override { return Get(row, LVIF_IMAGE).iImage; }
  std::string RowText(int row, int column) const override {
    char buffer[1024] = {};
    LVITEMA item{};
    item.iSubItem = column;
    item.pszText = buffer;
    item.cchTextMax = sizeof buffer;
    SendMessageA(hwnd_, LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
    return buffer;
  }
  void SetRowSelected(int row, bool selected) override {
    ListView_SetItemState(hwnd_, row, selected ? LVIS_SELECTED : 0, LVIS_SELECTED);
  }
  void SetDoubleBuffered(bool on) override {
    ListView_SetExtendedListViewStyleEx(hwnd_, LVS_EX_DOUBLEBUFFER, on ? LVS_EX_DOUBLEBUFFER : 0);
  }
  LRESULT Notify(NMHDR* header) override {
    if (header->code == NM_CLICK && OnClick) OnClick();
    return 0;
  }

 private:
  LVITEMA Get(int row, UINT mask) const {
    LVITEMA item{};
    item.mask = mask;
    item.iItem = row;
    SendMessageA(hwnd_, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
    return item;
  }
};

// ------------------------------------------------------- small controls

class Bar : public Widget<ProgressBar> {
 public:
  using Widget::Widget;
  void SetMax(std::int64_t max) override {
    max_ = max;
    SendMessageA(hwnd_, PBM_SETRANGE32, 0, Scaled(max_));
    SetPosition(position_);
  }
  std::int64_t Max() const override { return max_; }
  void SetPosition(std::int64_t position) override {
    position_ = std::clamp<std::int64_t>(position, 0, std::max<std::int64_t>(max_, 0));
    SendMessageA(hwnd_, PBM_SETPOS, static_cast<WPARAM>(Scaled(position_)), 0);
  }
  std::int64_t Position() const override { return position_; }

 private:
  // The control counts in ints: large ranges are shown to scale.
  LPARAM Scaled(std::int64_t value) const {
    if (max_ <= INT_MAX) return static_cast<LPARAM>(value);
    return static_cast<LPARAM>(static_cast<double>(value) / static_cast<double>(max_) * INT_MAX);
  }
  std::int64_t max_ = 100, position_ = 0;
};

class Check : public Widget<CheckBox> {
 public:
  using Widget::Widget;
  void SetChecked(bool checked) override { Button_SetCheck(hwnd_, checked ? BST_CHECKED : BST_UNCHECKED); }
  bool Checked() const override { return Button_GetCheck(hwnd_) == BST_CHECKED; }
  void Command(WORD code) override {
    // Disabled controls ignore clicks, even one sent as a message.
    if (code == BN_CLICKED && IsWindowEnabled(hwnd_) && OnClick) OnClick();
  }
};

// A push button drawn with its picture beside its caption.
class BitButton : public Widget<Button> {
 public:
  BitButton(const ComponentLayout& desc, HIMAGELIST images) : Widget(desc), images_(images), glyph_(desc.ImageIndex) {}
  ~BitButton() override {
    if (fitted_) DeleteObject(fitted_);
  }
  void Command(WORD code) override {
    // Disabled controls ignore clicks, even one sent as a message.
    if (code == BN_CLICKED && IsWindowEnabled(hwnd_) && OnClick) OnClick();
  }
  bool DrawItem(const DRAWITEMSTRUCT& item) override {
    RECT r = item.rcItem;
    const bool pushed = item.itemState & ODS_SELECTED;
    const bool disabled = item.itemState & ODS_DISABLED;
    DrawFrameControl(item.hDC, &r, DFC_BUTTON, DFCS_BUTTONPUSH | (pushed ? DFCS_PUSHED : 0));
    if (pushed) OffsetRect(&r, 1, 1);
    HGDIOBJ old = SelectObject(item.hDC, FittingFont(item.hDC, r));
    SetBkMode(item.hDC, TRANSPARENT);
    SetTextColor(item.hDC, disabled ? GetSysColor(COLOR_GRAYTEXT) : textColour_);
    RECT measure = r;
    DrawTextA(item.hDC, caption_.c_str(), -1, &measure, DT_CALCRECT | DT_SINGLELINE);
    const bool glyph = images_ && glyph_ >= 0;
    const int width = (measure.right - measure.left) + (glyph ? icons::Size + 4 : 0);
    int x = r.left + ((r.right - r.left) - width) / 2;
    if (glyph) {
      ImageList_DrawEx(images_, glyph_, item.hDC, x, r.top + ((r.bottom - r.top) - icons::Size) / 2, 0, 0, CLR_NONE,
                       CLR_NONE, disabled ? ILD_BLEND50 : ILD_TRANSPARENT);
      x += icons::Size + 4;
    }
    RECT text{x, r.top, r.right, r.bottom};
    DrawTextA(item.hDC, caption_.c_str(), -1, &text, DT_LEFT | DT_VCENTER | DT_SINGLELINE);
    SelectObject(item.hDC, old);
    if (item.itemState & ODS_FOCUS) {
      RECT focus = item.rcItem;
      InflateRect(&focus, -4, -4);
      DrawFocusRect(item.hDC, &focus);
    }
    return true;
  }

 private:
  // The caption's font, made smaller where the system's face is wider than
  // the one the layout was drawn with, so the caption is never cut.
  HFONT FittingFont(HDC dc, const RECT& r) {
    if (fitted_) return fitted_;
    LOGFONTA font{};
    GetObjectA(font_, sizeof font, &font);
    const int room = (r.right - r.left) - 8 - (images_ && glyph_ >= 0 ? icons::Size + 4 : 0);
    for (;;) {
      HFONT candidate = CreateFontIndirectA(&font);
      HGDIOBJ old = SelectObject(dc, candidate);
      SIZE size{};
      GetTextExtentPoint32A(dc, caption_.c_str(), static_cast<int>(caption_.size()), &size);
      SelectObject(dc, old);
      if (size.cx <= room || std::abs(font.lfHeight) <= 8) {
        fitted_ = candidate;
        return fitted_;
      }
      DeleteObject(candidate);
      font.lfHeight += font.lfHeight < 0 ? 1 : -1;
    }
  }
  HIMAGELIST images_;
  int glyph_;
  HFONT fitted_ = nullptr;
};

class Edit : public Widget<EditBox> {
 public:
  using Widget::Widget;
  ~Edit() override {
    if (hwnd_) RemoveWindowSubclass(hwnd_, KeyProc, 1);
  }
  void SetText(std::string_view text) override { SetWindowTextA(hwnd_, std::string(text).c_str()); }
  std::string Text() const override {
    std::string text(static_cast<std::size_t>(GetWindowTextLengthA(hwnd_)) + 1, '\0');
    text.resize(static_cast<std::size_t>(GetWindowTextA(hwnd_, text.data(), static_cast<int>(text.size()))));
    return text;
  }
  void Listen() { SetWindowSubclass(hwnd_, KeyProc, 1, reinterpret_cast<DWORD_PTR>(this)); }

 private:
  // Each typed character passes the form's handler first; 0 swallows it,
  // and so does Enter, which a one-line edit has no use for.
  static LRESULT CALLBACK KeyProc(HWND hwnd, UINT message, WPARAM w, LPARAM l, UINT_PTR, DWORD_PTR self) {
    if (message == WM_CHAR) {
      auto* edit = reinterpret_cast<Edit*>(self);
      char key = static_cast<char>(w);
      if (edit->OnKeyPress) edit->OnKeyPress(key);
      if (key == 0 || key == '\r') return 0;
      w = static_cast<unsigned char>(key);
    }
    return DefSubclassProc(hwnd, message, w, l);
  }
};

class Filter : public Widget<FilterBox> {
 public:
  explicit Filter(const ComponentLayout& desc) : Widget(desc) {
    // "description|mask|description|mask..."
    std::vector<std::string> parts(1);
    for (char c : desc.Caption) {
      if (c == '|') parts.emplace_back();
      else parts.back() += c;
    }
    for (std::size_t i = 0; i < parts.size(); i += 2)
      items_.push_back({parts[i], i + 1 < parts.size() ? parts[i + 1] : std::string()});
  }
  void Fill() {
    for (auto& [text, mask] : items_) SendMessageA(hwnd_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    SetSelectedIndex(0);
  }
  int ItemCount() const override { return static_cast<int>(items_.size()); }
  int SelectedIndex() const override { return static_cast<int>(SendMessageA(hwnd_, CB_GETCURSEL, 0, 0)); }
  void SetSelectedIndex(int index) override { SendMessageA(hwnd_, CB_SETCURSEL, static_cast<WPARAM>(index), 0); }
  std::string ItemText(int index) const override { return items_.at(static_cast<std::size_t>(index)).first; }
  std::string Mask() const override {
    const int selected = SelectedIndex();
    return selected >= 0 && selected < ItemCount() ? items_[static_cast<std::size_t>(selected)].second : std::string();
  }

 private:
  std::vector<std::pair<std::string, std::string>> items_;
};

// The tab control: its pages are containers of our own class inside it.
class Pages : public Widget<TextControl> {
 public:
  using Widget::Widget;
  void SetText(std::string_view text) override { caption_ = text; }
  std::string Text() const override { return caption_; }
  void AddPage(Container* page, const std::string& caption) {
    TCITEMA item{};
    item.mask = TCIF_TEXT;
    item.pszText = const_cast<char*>(caption.c_str());
    SendMessageA(hwnd_, TCM_INSERTITEMA, pages_.size(), reinterpret_cast<LPARAM>(&item));
    pages_.push_back(page);
  }
  RECT PageRect() const {
    RECT r;
    GetClientRect(hwnd_, &r);
    TabCtrl_AdjustRect(hwnd_, FALSE, &r);
    return r;
  }
  void Show(int index) {
    if (index < 0 || index >= static_cast<int>(pages_.size())) return;
    TabCtrl_SetCurSel(hwnd_, index);
    for (int i = 0; i < static_cast<int>(pages_.size()); ++i)
      ShowWindow(pages_[static_cast<std::size_t>(i)]->Hwnd(), i == index ? SW_SHOW : SW_HIDE);
  }
  int Current() const { return TabCtrl_GetCurSel(hwnd_); }
  int PageCount() const { return static_cast<int>(pages_.size()); }
  LRESULT Notify(NMHDR* header) override {
    if (header->code == TCN_SELCHANGE) Show(Current());
    return 0;
  }

 private:
  std::vector<Container*> pages_;
};

// Components without a window (image lists, the save dialog's settings).
class Plain : public Widget<Control> {
 public:
  explicit Plain(const ComponentLayout& desc, HIMAGELIST images = nullptr) : Widget(desc), images_(images) {}
  ~Plain() override {
    if (images_) ImageList_Destroy(images_);
  }
  HIMAGELIST Images() const { return images_; }

 private:
  HIMAGELIST images_;
};

// ------------------------------------------------------------- the form

LRESULT CALLBACK ContainerProc(HWND hwnd, UINT message, WPARAM w, LPARAM l);

class FormImpl : public FormWindow {
 public:
  FormImpl(vant::win32::Toolkit& toolkit, HWND parent, Toolkit::Compare compare)
      : toolkit_(toolkit), parent_(parent), compare_(std::move(compare)) {}
  ~FormImpl() override {
    for (auto it = widgets_.rbegin(); it != widgets_.rend(); ++it)
      if (Core* core = dynamic_cast<Core*>(it->get())) core->BeforeDestroy();
    if (top_) DestroyWindow(top_);
    for (auto it = widgets_.rbegin(); it != widgets_.rend(); ++it) it->reset();
    for (auto& [key, font] : fonts_) DeleteObject(font);
  }

  Control* Find(std::string_view name) const override {
    for (const auto& w : widgets_)
      if (w->Name() == name) return w.get();
    return nullptr;
  }
  void Show() override {
    if (!top_) return;
    ShowWindow(top_, SW_SHOW);
    UpdateWindow(top_);
  }
  HWND Top() const { return top_; }
  bool Busy() const { return toolkit_.Hourglass(); }

  void Build(FormLayout layout) {
    for (const ComponentLayout& desc : layout) Add(desc);
  }

 private:
  HFONT Font(const FontLayout& desc) {
    std::string key = std::string(desc.Face) + "/" + std::to_string(desc.Points) + (desc.Bold ? "b" : "");
    auto it = std::find_if(fonts_.begin(), fonts_.end(), [&](auto& f) { return f.first == key; });
    if (it != fonts_.end()) return it->second;
    HDC screen = GetDC(nullptr);
    const int height = -MulDiv(desc.Points, GetDeviceCaps(screen, LOGPIXELSY), 72);
    ReleaseDC(nullptr, screen);
    HFONT font = CreateFontA(height, 0, 0, 0, desc.Bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE, ANSI_CHARSET,
                             OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                             std::string(desc.Face).c_str());
    fonts_.emplace_back(key, font);
    return font;
  }
  Core* CoreNamed(std::string_view name) const { return dynamic_cast<Core*>(Find(name)); }
  HIMAGELIST ImagesNamed(std::string_view name) const {
    auto* plain = dynamic_cast<Plain*>(Find(name));
    return plain ? plain->Images() : nullptr;
  }

  void Add(const ComponentLayout& desc) {
    using K = ComponentKind;
    Core* parent = desc.Parent.empty() ? nullptr : CoreNamed(desc.Parent);
    std::unique_ptr<Control> control;
    Core* core = nullptr;
    auto make = [&](auto widget) {
      core = widget.get();
      control = std::move(widget);
      return core;
    };
    const std::string caption(desc.Caption);
    switch (desc.Kind) {
      case K::Form: {
        auto form = std::make_unique<Container>(desc, Frame::None);
        Configure(*form, desc, nullptr);
        const DWORD style = parent_ ? WS_CHILD | WS_CLIPCHILDREN : WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
        RECT r{0, 0, desc.Bounds.Width, desc.Bounds.Height};
        AdjustWindowRectEx(&r, style, FALSE, 0);
        form->hwnd_ = CreateWindowExA(0, kContainerClass, caption.c_str(), style, parent_ ? 0 : CW_USEDEFAULT,
                                      parent_ ? 0 : CW_USEDEFAULT, r.right - r.left, r.bottom - r.top, parent_,
                                      nullptr, GetModuleHandleA(nullptr), nullptr);
        if (!form->hwnd_) throw std::runtime_error("the form's window cannot be made");
        Attach(*form, desc);
        top_ = form->hwnd_;
        make(std::move(form));
        break;
      }
      case K::ImageList:
        control = std::make_unique<Plain>(desc, MakeImageList(icons::ForImageList(desc.Name)));
        break;
      case K::SaveDialog: control = std::make_unique<Plain>(desc); break;
      case K::PageControl: {
        auto pages = std::make_unique<Pages>(desc);
        Window(*pages, desc, parent, WC_TABCONTROLA, "", WS_CLIPCHILDREN | WS_TABSTOP);
        make(std::move(pages));
        break;
      }
      case K::TabSheet: {
        auto page = std::make_unique<Container>(desc, Frame::None);
        auto* pages = dynamic_cast<Pages*>(parent);
        if (!pages) throw std::logic_error("a tab sheet outside a page control: " + std::string(desc.Name));
        pages->AddPage(page.get(), caption);
        const RECT r = pages->PageRect();
        ComponentLayout placed = desc;
        placed.Bounds = {r.left, r.top, r.right - r.left, r.bottom - r.top};
        placed.Visible = pages->PageCount() == 1;
        Window(*page, placed, parent, kContainerClass, "", WS_CLIPCHILDREN);
        page->caption_ = caption;
        make(std::move(page));
        break;
      }
      case K::Panel:
      case K::GroupBox: {
        auto box = std::make_unique<Container>(desc, desc.Kind == K::Panel ? Frame::Panel : Frame::Group);
        Window(*box, desc, parent, kContainerClass, "", WS_CLIPCHILDREN);
        box->caption_ = caption;
        make(std::move(box));
        break;
      }
      case K::Label:
      case K::StaticText: {
        auto label = std::make_unique<Label>(desc);
        DWORD style = SS_NOPREFIX | (desc.Centred ? SS_CENTER : SS_LEFT);
        if (!desc.WordWrap && !desc.Centred && desc.Kind == K::Label) style = SS_NOPREFIX | SS_LEFTNOWORDWRAP;
        Window(*label, desc, parent, "STATIC", caption, style);
        label->caption_ = caption;
        if (label->AutoSize()) label->FitText();
        make(std::move(label));
        break;
      }
      case K::HelpText: {
        auto page = std::make_unique<HelpPage>(desc);
        Window(*page, desc, parent, "EDIT", "", ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | WS_VSCROLL,
               WS_EX_CLIENTEDGE);
        page->SetText(desc.Caption);
        make(std::move(page));
        break;
      }
      case K::TreeView: {
        auto tree = std::make_unique<Tree>(desc, compare_);
        Window(*tree, desc, parent, WC_TREEVIEWA, "",
               TVS_HASLINES | TVS_HASBUTTONS | TVS_LINESATROOT | TVS_SHOWSELALWAYS | WS_TABSTOP, WS_EX_CLIENTEDGE);
        if (HIMAGELIST images = ImagesNamed(desc.Images)) TreeView_SetImageList(tree->hwnd_, images, TVSIL_NORMAL);
        if (desc.Indent > 0) TreeView_SetIndent(tree->hwnd_, desc.Indent);
        TreeView_SetTextColor(tree->hwnd_, Resolve(desc.Font.Colour));
        make(std::move(tree));
        break;
      }
      case K::ListView: {
        auto list = std::make_unique<List>(desc);
        Window(*list, desc, parent, WC_LISTVIEWA, "", LVS_REPORT | LVS_SHOWSELALWAYS | LVS_SHAREIMAGELISTS | WS_TABSTOP,
               WS_EX_CLIENTEDGE);
        ListView_SetExtendedListViewStyle(list->hwnd_, LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES | LVS_EX_CHECKBOXES);
        if (HIMAGELIST images = ImagesNamed(desc.Images)) {
          ListView_SetImageList(list->hwnd_, images, LVSIL_SMALL);
          // The check boxes are drawn with the same pictures: state 1 is
          // picture 0 (unchecked sheet), state 2 picture 1 (sheet with a tick).
          ListView_SetImageList(list->hwnd_, images, LVSIL_STATE);
        }
        int index = 0;
        for (const ColumnLayout& c : desc.Columns) {
          std::string text(c.Caption);
          LVCOLUMNA column{};
          column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT | LVCF_SUBITEM;
          column.fmt = c.Alignment == Align::Right ? LVCFMT_RIGHT : c.Alignment == Align::Centre ? LVCFMT_CENTER : LVCFMT_LEFT;
          column.cx = c.Width;
          column.pszText = text.data();
          column.iSubItem = index;
          SendMessageA(list->hwnd_, LVM_INSERTCOLUMNA, index++, reinterpret_cast<LPARAM>(&column));
        }
        ListView_SetTextColor(list->hwnd_, Resolve(desc.Font.Colour));
        make(std::move(list));
        break;
      }
      case K::ProgressBar: {
        auto bar = std::make_unique<Bar>(desc);
        Window(*bar, desc, parent, PROGRESS_CLASSA, "", 0);
        SendMessageA(bar->hwnd_, PBM_SETRANGE32, 0, 100);
        make(std::move(bar));
        break;
      }
      case K::Image: {
        auto picture = std::make_unique<Picture>(desc, ImagesNamed(desc.ImageSource));
        Window(*picture, desc, parent, kPictureClass, "", 0);
        make(std::move(picture));
        break;
      }
      case K::CheckBox: {
        auto box = std::make_unique<Check>(desc);
        Window(*box, desc, parent, "BUTTON", caption, BS_AUTOCHECKBOX | WS_TABSTOP);
        box->SetChecked(desc.Checked);
        if (!caption.empty()) FitCaption(*box, caption, 20);
        make(std::move(box));
        break;
      }
      case K::BitBtn: {
        auto button = std::make_unique<BitButton>(desc, ImagesNamed(desc.ImageSource));
        Window(*button, desc, parent, "BUTTON", caption, BS_OWNERDRAW | WS_TABSTOP);
        button->caption_ = caption;
        make(std::move(button));
        break;
      }
      case K::Edit: {
        auto edit = std::make_unique<Edit>(desc);
        Window(*edit, desc, parent, "EDIT", caption, ES_AUTOHSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE);
        edit->Listen();
        make(std::move(edit));
        break;
      }
      case K::FilterComboBox: {
        auto filter = std::make_unique<Filter>(desc);
        ComponentLayout placed = desc;
        placed.Bounds.Height = 200;  // a drop-down list's height includes its list
        Window(*filter, placed, parent, "COMBOBOX", "", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP);
        filter->Fill();
        make(std::move(filter));
        break;
      }
    }
    (void)core;
    widgets_.push_back(std::move(control));
  }

  // Widens a control whose caption, in the system's face for the layout's
  // font, is wider than the layout allowed; `extra` is the room of its box.
  void FitCaption(Core& core, const std::string& caption, int extra) {
    HDC dc = GetDC(core.hwnd_);
    HGDIOBJ old = SelectObject(dc, core.font_);
    SIZE size{};
    GetTextExtentPoint32A(dc, caption.c_str(), static_cast<int>(caption.size()), &size);
    SelectObject(dc, old);
    ReleaseDC(core.hwnd_, dc);
    RECT r;
    GetWindowRect(core.hwnd_, &r);
    if (size.cx + extra > r.right - r.left)
      SetWindowPos(core.hwnd_, nullptr, 0, 0, size.cx + extra, r.bottom - r.top, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  void Configure(Core& core, const ComponentLayout& desc, Core* parent) {
    core.form_ = this;
    core.font_ = Font(desc.Font);
    core.textColour_ = Resolve(desc.Font.Colour);
    if (desc.Colour != ClDefault) core.background_ = Resolve(desc.Colour);
    else core.background_ = parent ? parent->Background() : GetSysColor(COLOR_BTNFACE);
    if (desc.Kind == ComponentKind::Edit) core.background_ = GetSysColor(COLOR_WINDOW);
    core.brush_ = CreateSolidBrush(core.background_);
  }
  void Attach(Core& core, const ComponentLayout& desc) {
    SetPropA(core.hwnd_, kCoreProperty, &core);
    SendMessageA(core.hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(core.font_), FALSE);
    // Later components lie over earlier ones, as the layout draws them.
    SetWindowPos(core.hwnd_, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  }
  void Window(Core& core, const ComponentLayout& desc, Core* parent, const char* windowClass, const std::string& text,
              DWORD style, DWORD exStyle = 0) {
    if (!parent) throw std::logic_error("a component without a parent window: " + std::string(desc.Name));
    Configure(core, desc, parent);
    style |= WS_CHILD | WS_CLIPSIBLINGS;
    if (desc.Visible) style |= WS_VISIBLE;
    if (!desc.Enabled) style |= WS_DISABLED;
    const Rect& b = desc.Bounds;
    core.hwnd_ = CreateWindowExA(exStyle, windowClass, text.c_str(), style, b.Left, b.Top, b.Width, b.Height,
                                 parent->Hwnd(), nullptr, GetModuleHandleA(nullptr), nullptr);
    if (!core.hwnd_) throw std::runtime_error("the window of " + std::string(desc.Name) + " cannot be made");
    Attach(core, desc);
  }

  vant::win32::Toolkit& toolkit_;
  HWND parent_;
  Toolkit::Compare compare_;
  HWND top_ = nullptr;
  std::vector<std::unique_ptr<Control>> widgets_;
  std::vector<std::pair<std::string, HFONT>> fonts_;
};

LRESULT CALLBACK ContainerProc(HWND hwnd, UINT message, WPARAM w, LPARAM l) {
  Core* self = CoreOf(hwnd);
  switch (message) {
    case WM_COMMAND:
      if (Core* child = CoreOf(reinterpret_cast<HWND>(l))) {
        child->Command(HIWORD(w));
        return 0;
      }
      break;
    case WM_NOTIFY: {
      auto* header = reinterpret_cast<NMHDR*>(l);
      if (Core* child = CoreOf(header->hwndFrom)) return child->Notify(header);
      break;
    }
    case WM_DRAWITEM: {
      auto* item = reinterpret_cast<DRAWITEMSTRUCT*>(l);
      if (Core* child = CoreOf(item->hwndItem); child && child->DrawItem(*item)) return TRUE;
      break;
    }
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLOREDIT:
      if (Core* child = CoreOf(reinterpret_cast<HWND>(l)))
        return reinterpret_cast<LRESULT>(child->Colours(reinterpret_cast<HDC>(w)));
      break;
    case WM_ERASEBKGND:
      if (self) {
        RECT r;
        GetClientRect(hwnd, &r);
        FillRect(reinterpret_cast<HDC>(w), &r, self->Brush());
        return 1;
      }
      break;
    case WM_PAINT:
      if (self) {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(hwnd, &paint);
        RECT r;
        GetClientRect(hwnd, &r);
        self->Paint(dc, r);
        EndPaint(hwnd, &paint);
        return 0;
      }
      break;
    case WM_SETCURSOR:
      if (self && self->Form() && self->Form()->Busy()) {
        SetCursor(LoadCursor(nullptr, IDC_WAIT));
        return TRUE;
      }
      break;
    case WM_CLOSE:
      if (!(GetWindowLongPtrA(hwnd, GWL_STYLE) & WS_CHILD)) {
        ShowWindow(hwnd, SW_HIDE);
        PostQuitMessage(0);
        return 0;
      }
      break;
    case WM_NCDESTROY:
      RemovePropA(hwnd, kCoreProperty);
      break;
  }
  return DefWindowProcA(hwnd, message, w, l);
}

void RegisterClasses() {
  static const bool registered = [] {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_TREEVIEW_CLASSES | ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS |
                                                       ICC_TAB_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    WNDCLASSA wc{};
    wc.lpfnWndProc = ContainerProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.lpszClassName = kContainerClass;
    RegisterClassA(&wc);
    wc.lpszClassName = kPictureClass;
    RegisterClassA(&wc);
    return true;
  }();
  (void)registered;
}

int LstrcmpOrder(std::string_view a, std::string_view b) {
  return lstrcmpA(std::string(a).c_str(), std::string(b).c_str());
}

}  // namespace

Toolkit::Toolkit(DialogAnswerer* dialogs, HWND parent, Compare compare)
    : dialogs_(dialogs), parent_(parent), compare_(std::move(compare)) {
  RegisterClasses();
  if (!dialogs_) {
    own_ = std::make_unique<SystemDialogs>();
    dialogs_ = own_.get();
  }
  if (!compare_) compare_ = LstrcmpOrder;
}

Toolkit::~Toolkit() = default;

std::unique_ptr<FormWindow> Toolkit::BuildForm(FormLayout layout) {
  auto form = std::make_unique<FormImpl>(*this, parent_, compare_);
  form->Build(layout);
  form_ = form->Top();
  return form;
}

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
  const auto* core = dynamic_cast<const Core*>(&control);
  return core ? core->Hwnd() : nullptr;
}

HIMAGELIST ImageListOf(const Control& control) {
  const auto* plain = dynamic_cast<const Plain*>(&control);
  return plain ? plain->Images() : nullptr;
}

void SelectPage(Control& pageControl, int index) {
  if (auto* pages = dynamic_cast<Pages*>(&pageControl)) pages->Show(index);
}

int SelectedPage(const Control& pageControl) {
  const auto* pages = dynamic_cast<const Pages*>(&pageControl);
  return pages ? pages->Current() : -1;
}

}  // namespace vant::win32
