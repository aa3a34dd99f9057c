// The list views (report rows with a picture and texts) and the filter
// boxes (a drop-down list of "description|mask" items).
#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "platform/win32/win32_widgets.h"

namespace vant::win32::widgets {
namespace {

// A virtual (owner-data) report list: the control holds only the number of
// rows, their selection and focus; the pictures, check marks and texts are
// ours and given when it paints a row. Adding a row sends nothing: the count
// reaches the control by one posted message, handled with the next batch of
// window messages, so filling 100,000 rows costs no drawing per row.
class List : public Widget<ListView> {
 public:
  using Widget::Widget;

  void Clear() override {
    rows_.clear();
    ForgetTexts();
    shown_ = 0;
    // The answer to its delete-all notification spares a notification per row.
    ListView_DeleteAllItems(hwnd_);
  }
  int AddRow(int image, void* data) override {
    rows_.push_back({data, image, false});
    ForgetTexts();
    if (!syncPosted_) syncPosted_ = PostMessageA(hwnd_, kSyncMessage, 0, 0) != FALSE;
    return static_cast<int>(rows_.size()) - 1;
  }
  int RowCount() const override { return static_cast<int>(rows_.size()); }
  int SelectedCount() const override { return static_cast<int>(ListView_GetSelectedCount(hwnd_)); }
  int NextSelected(int row) const override { return ListView_GetNextItem(hwnd_, row, LVNI_SELECTED); }
  void* RowData(int row) const override { return rows_.at(static_cast<std::size_t>(row)).data; }
  int RowImage(int row) const override { return rows_.at(static_cast<std::size_t>(row)).image; }
  std::string RowText(int row, int column) const override {
    return ColumnText(row, rows_.at(static_cast<std::size_t>(row)).data, column);
  }
  void SetRowSelected(int row, bool selected) override {
    Sync();
    ListView_SetItemState(hwnd_, row, selected ? LVIS_SELECTED : 0, LVIS_SELECTED);
  }
  void SetDoubleBuffered(bool on) override {
    ListView_SetExtendedListViewStyleEx(hwnd_, LVS_EX_DOUBLEBUFFER, on ? LVS_EX_DOUBLEBUFFER : 0);
  }
  LRESULT Notify(NMHDR* header) override {
    switch (header->code) {
      case LVN_GETDISPINFOA: Describe(reinterpret_cast<NMLVDISPINFOA*>(header)->item, nullptr); break;
      case LVN_GETDISPINFOW: {
        auto& item = reinterpret_cast<NMLVDISPINFOW*>(header)->item;
        Describe(reinterpret_cast<LVITEMA&>(item), item.mask & LVIF_TEXT ? item.pszText : nullptr);
        break;
      }
      case LVN_DELETEALLITEMS: return TRUE;
      // Typing in the list finds nothing, as when its first column (a
      // picture without text) was the control's own.
      case LVN_ODFINDITEMA:
      case LVN_ODFINDITEMW: return -1;
      case LVN_ITEMCHANGED: CheckChanged(*reinterpret_cast<NMLISTVIEW*>(header)); break;
      case NM_CLICK: {
        Clicked(*reinterpret_cast<NMITEMACTIVATE*>(header));
        if (OnClick) OnClick();
        break;
      }
    }
    return 0;
  }

 protected:
  void Restyled() override { ListView_SetTextColor(hwnd_, textColour_); }

 private:
  struct Row {
    void* data;
    int image;
    bool checked;
  };
  static constexpr UINT kSyncMessage = WM_APP + 0x56;

  // Tells the control how many rows there are, once per batch of additions.
  void Sync() {
    syncPosted_ = false;
    if (shown_ == rows_.size()) return;
    shown_ = rows_.size();
    ListView_SetItemCountEx(hwnd_, static_cast<int>(shown_), LVSICF_NOINVALIDATEALL | LVSICF_NOSCROLL);
  }
  bool OwnMessage(UINT message, WPARAM&, LPARAM, LRESULT& result) override {
    if (message != kSyncMessage) return false;
    Sync();
    result = 0;
    return true;
  }

  // What the control asks of a row it paints. `wide` is where a Unicode
  // request wants its text (the layouts of the two requests differ only there).
  void Describe(LVITEMA& item, wchar_t* wide) const {
    if (item.iItem < 0 || static_cast<std::size_t>(item.iItem) >= rows_.size()) return;
    const Row& row = rows_[static_cast<std::size_t>(item.iItem)];
    if (item.mask & LVIF_IMAGE) item.iImage = item.iSubItem == 0 ? row.image : -1;
    if (item.mask & LVIF_STATE) {
      item.state = (item.state & ~LVIS_STATEIMAGEMASK) | INDEXTOSTATEIMAGEMASK(row.checked ? 2 : 1);
      item.stateMask |= LVIS_STATEIMAGEMASK;
    }
    if ((item.mask & LVIF_TEXT) && item.cchTextMax > 0) {
      const std::string text = ColumnText(item.iItem, row.data, item.iSubItem);
      if (wide) {
        const int written = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide,
                                                item.cchTextMax - 1);
        wide[std::max(written, 0)] = L'\0';
      } else {
        lstrcpynA(item.pszText, text.c_str(), item.cchTextMax);
      }
    }
  }

  // The control toggles a check mark by setting the row's state picture.
  void CheckChanged(const NMLISTVIEW& change) {
    if (!(change.uChanged & LVIF_STATE) || change.iItem < 0 || static_cast<std::size_t>(change.iItem) >= rows_.size())
      return;
    const UINT picture = (change.uNewState & LVIS_STATEIMAGEMASK) >> 12;
    if (picture != 1 && picture != 2) return;
    Row& row = rows_[static_cast<std::size_t>(change.iItem)];
    if (row.checked == (picture == 2)) return;
    row.checked = picture == 2;
    toggledByControl_ = true;
    ListView_RedrawItems(hwnd_, change.iItem, change.iItem);
  }
  // A control that reports a click on a check mark without setting the
  // state picture leaves the toggle to us.
  void Clicked(const NMITEMACTIVATE& click) {
    const bool handled = toggledByControl_;
    toggledByControl_ = false;
    if (handled || click.iItem < 0 || static_cast<std::size_t>(click.iItem) >= rows_.size()) return;
    LVHITTESTINFO hit{};
    hit.pt = click.ptAction;
    if (ListView_SubItemHitTest(hwnd_, &hit) < 0 || hit.iItem != click.iItem || !(hit.flags & LVHT_ONITEMSTATEICON)) return;
    rows_[static_cast<std::size_t>(click.iItem)].checked ^= true;
    ListView_RedrawItems(hwnd_, click.iItem, click.iItem);
  }

  std::vector<Row> rows_;
  std::size_t shown_ = 0;  // the count the control has
  bool syncPosted_ = false;
  bool toggledByControl_ = false;
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
  void Command(WORD code) override {
    if (code == CBN_SELCHANGE && OnChange) OnChange();
  }
  std::string Mask() const override {
    const int selected = SelectedIndex();
    return selected >= 0 && selected < ItemCount() ? items_[static_cast<std::size_t>(selected)].second : std::string();
  }

 private:
  std::vector<std::pair<std::string, std::string>> items_;
};

}  // namespace

std::unique_ptr<Control> MakeList(Builder& builder, const ComponentLayout& desc, Core* parent) {
  switch (desc.Kind) {
    case ComponentKind::ListView: {
      auto list = std::make_unique<List>(desc);
      builder.Window(*list, desc, parent, WC_LISTVIEWA, "",
                     LVS_REPORT | LVS_OWNERDATA | LVS_SHOWSELALWAYS | LVS_SHAREIMAGELISTS | WS_TABSTOP,
                     WS_EX_CLIENTEDGE);
      HWND hwnd = list->Hwnd();
      ListView_SetExtendedListViewStyle(hwnd, LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES | LVS_EX_CHECKBOXES);
      // The check marks are ours: the control asks for them with the texts.
      ListView_SetCallbackMask(hwnd, LVIS_STATEIMAGEMASK);
      if (HIMAGELIST images = builder.ImagesNamed(desc.Images)) {
        ListView_SetImageList(hwnd, images, LVSIL_SMALL);
        // The check boxes are drawn with the same pictures: state 1 is
        // picture 0 (unchecked sheet), state 2 picture 1 (sheet with a tick).
        // The list made for the check boxes is the list view's no longer,
        // and a shared list view frees none: it goes here.
        if (HIMAGELIST own = ListView_SetImageList(hwnd, images, LVSIL_STATE); own && own != images)
          ImageList_Destroy(own);
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
        SendMessageA(hwnd, LVM_INSERTCOLUMNA, index++, reinterpret_cast<LPARAM>(&column));
      }
      ListView_SetTextColor(hwnd, Resolve(desc.Font.Colour));
      return list;
    }
    case ComponentKind::FilterComboBox: {
      auto filter = std::make_unique<Filter>(desc);
      ComponentLayout placed = desc;
      placed.Bounds.Height = 200;  // a drop-down list's height includes its list
      builder.Window(*filter, placed, parent, "COMBOBOX", "", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP);
      filter->Fill();
      return filter;
    }
    default: return nullptr;
  }
}

}  // namespace vant::win32::widgets
