// The list views (report rows with a picture and texts) and the filter
// boxes (a drop-down list of "description|mask" items).
#include <string>
#include <utility>
#include <vector>

#include "platform/win32/win32_widgets.h"

namespace vant::win32::widgets {
namespace {

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

 protected:
  void Restyled() override { ListView_SetTextColor(hwnd_, textColour_); }

 private:
  LVITEMA Get(int row, UINT mask) const {
    LVITEMA item{};
    item.mask = mask;
    item.iItem = row;
    SendMessageA(hwnd_, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
    return item;
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

}  // namespace

std::unique_ptr<Control> MakeList(Builder& builder, const ComponentLayout& desc, Core* parent) {
  switch (desc.Kind) {
    case ComponentKind::ListView: {
      auto list = std::make_unique<List>(desc);
      builder.Window(*list, desc, parent, WC_LISTVIEWA, "",
                     LVS_REPORT | LVS_SHOWSELALWAYS | LVS_SHAREIMAGELISTS | WS_TABSTOP, WS_EX_CLIENTEDGE);
      HWND hwnd = list->Hwnd();
      ListView_SetExtendedListViewStyle(hwnd, LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES | LVS_EX_CHECKBOXES);
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
