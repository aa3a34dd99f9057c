// The tree view: nodes carry their text and data in items of their own, so
// deletion events can still read them while the control lets a node go.
#include <algorithm>
#include <climits>
#include <string>
#include <vector>

#include "platform/win32/win32_widgets.h"

namespace vant::win32::widgets {
namespace {

class Tree : public Widget<TreeView> {
 public:
  Tree(const ComponentLayout& desc, Toolkit::Compare compare) : Widget(desc), compare_(std::move(compare)) {}

  TreeNode AddChild(TreeNode parent, std::string_view text, void* data, int image, int selectedImage) override {
    // Orders by insertion: equal texts keep it through every sort, and a
    // sort need not number a folder's children first (a message each).
    auto* item = new Item{std::string(text), data, ++insertions_};
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
    // One redraw at the end, not one per folder sorted (a drive may hold
    // thousands); a folder with one child or none is left alone.
    if (recursive) SendMessageA(hwnd_, WM_SETREDRAW, FALSE, 0);
    std::vector<TreeNode> work{node};
    while (!work.empty()) {
      TreeNode n = work.back();
      work.pop_back();
      const TreeNode first = FirstChild(n);
      if (first && NextSibling(first)) SortBy(n, false);
      if (recursive)
        for (TreeNode c = first; c; c = NextSibling(c)) work.push_back(c);
    }
    if (!recursive) return;
    SendMessageA(hwnd_, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(hwnd_, nullptr, TRUE);
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

 protected:
  void Restyled() override { TreeView_SetTextColor(hwnd_, textColour_); }

 private:
  struct Item {
    std::string text;
    void* data;
    int order;
    std::string key;  // the text's sort key, made at its first comparison
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
      const auto& compare = request->tree->compare_;
      if (int c = compare ? compare(x->text, y->text) : SortKey(*x).compare(SortKey(*y))) return c;
    }
    return x->order < y->order ? -1 : x->order > y->order ? 1 : 0;
  }
  // Without an order of the toolkit's user, the system's (lstrcmp's): its
  // sort keys, made once per text, compare byte by byte as lstrcmp compares
  // the texts, and sorting a folder of thousands of folders compares each
  // text many times.
  static const std::string& SortKey(Item& item) {
    if (item.key.empty()) {
      const int length = static_cast<int>(std::min<std::size_t>(item.text.size(), INT_MAX / 4));
      const LCID locale = GetThreadLocale();
      const int size = LCMapStringA(locale, LCMAP_SORTKEY, item.text.data(), length, nullptr, 0);
      item.key.resize(static_cast<std::size_t>(std::max(size, 1)));
      if (size > 0) LCMapStringA(locale, LCMAP_SORTKEY, item.text.data(), length, reinterpret_cast<LPSTR>(item.key.data()), size);
    }
    return item.key;
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
  int insertions_ = 0;
  bool quiet_ = false;
  HTREEITEM dying_ = nullptr;
  Item* dyingItem_ = nullptr;
};

}  // namespace

std::unique_ptr<Control> MakeTree(Builder& builder, const ComponentLayout& desc, Core* parent,
                                  const Toolkit::Compare& compare) {
  if (desc.Kind != ComponentKind::TreeView) return nullptr;
  auto tree = std::make_unique<Tree>(desc, compare);
  builder.Window(*tree, desc, parent, WC_TREEVIEWA, "",
                 TVS_HASLINES | TVS_HASBUTTONS | TVS_LINESATROOT | TVS_SHOWSELALWAYS | WS_TABSTOP, WS_EX_CLIENTEDGE);
  if (HIMAGELIST images = builder.ImagesNamed(desc.Images)) TreeView_SetImageList(tree->Hwnd(), images, TVSIL_NORMAL);
  if (desc.Indent > 0) TreeView_SetIndent(tree->Hwnd(), desc.Indent);
  TreeView_SetTextColor(tree->Hwnd(), Resolve(desc.Font.Colour));
  return tree;
}

}  // namespace vant::win32::widgets
