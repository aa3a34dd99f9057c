#include "platform/headless/headless_toolkit.h"

#include <algorithm>
#include <memory>
#include <sstream>

#include "platform/text.h"

namespace vant::headless {
namespace {

template <class Interface>
class Widget : public Interface {
 public:
  explicit Widget(const ComponentLayout& desc) : name_(desc.Name), visible_(desc.Visible), enabled_(desc.Enabled) {}
  std::string_view Name() const override { return name_; }
  void SetVisible(bool visible) override { visible_ = visible; }
  bool Visible() const override { return visible_; }
  void SetEnabled(bool enabled) override { enabled_ = enabled; }
  bool Enabled() const override { return enabled_; }

 private:
  std::string name_;
  bool visible_, enabled_;
};

class Label : public Widget<TextControl> {
 public:
  explicit Label(const ComponentLayout& desc) : Widget(desc), text_(desc.Caption) {}
  void SetText(std::string_view text) override { text_ = text; }
  std::string Text() const override { return text_; }

 private:
  std::string text_;
};

struct Node {
  Node* parent = nullptr;
  std::vector<std::unique_ptr<Node>> children;
  std::string text;
  void* data = nullptr;
  int image = 0, selectedImage = 0;
};

TreeNode Handle(Node* n) { return reinterpret_cast<TreeNode>(n); }
Node* Of(TreeNode n) { return reinterpret_cast<Node*>(n); }

class Tree : public Widget<TreeView> {
 public:
  Tree(const ComponentLayout& desc, Toolkit::Compare compare) : Widget(desc), compare_(std::move(compare)) {}
  ~Tree() override {
    // Destroying the tree deletes every node, each with its notification.
    DeleteChildren(nullptr);
  }

  TreeNode AddChild(TreeNode parent, std::string_view text, void* data, int image, int selectedImage) override {
    Node* p = parent ? Of(parent) : &roots_;
    auto node = std::make_unique<Node>();
    node->parent = p;
    node->text = text;
    node->data = data;
    node->image = image;
    node->selectedImage = selectedImage;
    p->children.push_back(std::move(node));
    ++count_;
    return Handle(p->children.back().get());
  }
  void Delete(TreeNode node) override {
    DeleteChildren(node);
    Unlink(Of(node));
  }
  void DeleteChildren(TreeNode node) override {
    // Deepest last children first, one notification per node, without
    // recursion: folder chains can be as deep as a volume's records.
    Node* top = node ? Of(node) : &roots_;
    std::vector<Node*> work{top};
    while (!work.empty()) {
      Node* n = work.back();
      if (n->children.empty()) {
        work.pop_back();
        if (n != top) Unlink(n);
      } else {
        work.push_back(n->children.back().get());
      }
    }
  }
  void MoveToEnd(TreeNode node) override {
    Node* n = Of(node);
    auto& siblings = n->parent->children;
    auto it = std::find_if(siblings.begin(), siblings.end(), [n](auto& c) { return c.get() == n; });
    std::rotate(it, it + 1, siblings.end());
  }
  void SortChildren(TreeNode node, bool recursive) override {
    // Iterative, so deep trees cannot overflow the stack.
    std::vector<Node*> work{node ? Of(node) : &roots_};
    while (!work.empty()) {
      Node* n = work.back();
      work.pop_back();
      std::stable_sort(n->children.begin(), n->children.end(),
                       [this](const auto& a, const auto& b) { return compare_(a->text, b->text) < 0; });
      if (recursive)
        for (auto& c : n->children) work.push_back(c.get());
    }
  }
  void Select(TreeNode node) override {
    if (Of(node) == selected_) return;
    selected_ = Of(node);
    if (OnChange) OnChange(node);
  }
  TreeNode Selected() const override { return Handle(selected_); }
  TreeNode Parent(TreeNode node) const override {
    Node* p = Of(node)->parent;
    return p == &roots_ ? nullptr : Handle(p);
  }
  TreeNode FirstChild(TreeNode node) const override {
    const Node* n = node ? Of(node) : &roots_;
    return n->children.empty() ? nullptr : Handle(n->children.front().get());
  }
  TreeNode NextSibling(TreeNode node) const override {
    Node* n = Of(node);
    auto& siblings = n->parent->children;
    auto it = std::find_if(siblings.begin(), siblings.end(), [n](auto& c) { return c.get() == n; });
    return ++it == siblings.end() ? nullptr : Handle(it->get());
  }
  std::string Text(TreeNode node) const override { return Of(node)->text; }
  void* Data(TreeNode node) const override { return Of(node)->data; }
  void SetData(TreeNode node, void* data) override { Of(node)->data = data; }
  int Image(TreeNode node) const override { return Of(node)->image; }
  void SetImage(TreeNode node, int image, int selectedImage) override {
    Of(node)->image = image;
    Of(node)->selectedImage = selectedImage;
  }
  std::size_t Count() const override { return count_; }
  void SetDoubleBuffered(bool) override {}

 private:
  void Unlink(Node* n) {
    if (selected_ == n) selected_ = nullptr;
    if (OnDeletion) OnDeletion(Handle(n));
    auto& siblings = n->parent->children;
    siblings.erase(std::find_if(siblings.begin(), siblings.end(), [n](auto& c) { return c.get() == n; }));
    --count_;
  }
  Toolkit::Compare compare_;
  Node roots_;
  Node* selected_ = nullptr;
  std::size_t count_ = 0;
};

class List : public Widget<ListView> {
 public:
  using Widget::Widget;
  void Clear() override {
    rows_.clear();
    ForgetTexts();
  }
  int AddRow(int image, void* data) override {
    rows_.push_back({image, data, false});
    ForgetTexts();
    return static_cast<int>(rows_.size()) - 1;
  }
  int RowCount() const override { return static_cast<int>(rows_.size()); }
  int SelectedCount() const override {
    return static_cast<int>(std::count_if(rows_.begin(), rows_.end(), [](const Row& r) { return r.selected; }));
  }
  int NextSelected(int row) const override {
    for (int i = row + 1; i < RowCount(); ++i)
      if (rows_[i].selected) return i;
    return -1;
  }
  void* RowData(int row) const override { return rows_.at(row).data; }
  int RowImage(int row) const override { return rows_.at(row).image; }
  // Asked of TextsOf when read, as the Windows list asks when it paints.
  std::string RowText(int row, int column) const override { return ColumnText(row, rows_.at(row).data, column); }
  void SetRowSelected(int row, bool selected) override { rows_.at(row).selected = selected; }
  void SetDoubleBuffered(bool) override {}

 private:
  struct Row {
    int image;
    void* data;
    bool selected;
  };
  std::vector<Row> rows_;
};

class Bar : public Widget<ProgressBar> {
 public:
  using Widget::Widget;
  void SetMax(std::int64_t max) override { max_ = max; }
  std::int64_t Max() const override { return max_; }
  void SetPosition(std::int64_t position) override { position_ = std::clamp<std::int64_t>(position, 0, std::max<std::int64_t>(max_, 0)); }
  std::int64_t Position() const override { return position_; }

 private:
  std::int64_t max_ = 100, position_ = 0;
};

class Picture : public Widget<ImageBox> {
 public:
  explicit Picture(const ComponentLayout& desc) : Widget(desc), index_(desc.ImageIndex) {}
  void ShowImage(int index) override { index_ = index; }
  int ImageIndex() const override { return index_; }
  void Redraw() override {}

 private:
  int index_;
};

class Check : public Widget<CheckBox> {
 public:
  explicit Check(const ComponentLayout& desc) : Widget(desc), checked_(desc.Checked) {}
  void SetChecked(bool checked) override { checked_ = checked; }
  bool Checked() const override { return checked_; }

 private:
  bool checked_;
};

class Push : public Widget<Button> {
 public:
  using Widget::Widget;
};

class Edit : public Widget<EditBox> {
 public:
  explicit Edit(const ComponentLayout& desc) : Widget(desc), text_(desc.Caption) {}
  void SetText(std::string_view text) override { text_ = text; }
  std::string Text() const override { return text_; }

 private:
  std::string text_;
};

class Filter : public Widget<FilterBox> {
 public:
  explicit Filter(const ComponentLayout& desc) : Widget(desc) {
    // "description|mask|description|mask..."
    std::vector<std::string> parts;
    std::string part;
    for (char c : desc.Caption) {
      if (c == '|') {
        parts.push_back(part);
        part.clear();
      } else {
        part += c;
      }
    }
    parts.push_back(part);
    for (std::size_t i = 0; i < parts.size(); i += 2)
      items_.push_back({parts[i], i + 1 < parts.size() ? parts[i + 1] : std::string()});
  }
  int ItemCount() const override { return static_cast<int>(items_.size()); }
  int SelectedIndex() const override { return selected_; }
  void SetSelectedIndex(int index) override { selected_ = index; }
  std::string ItemText(int index) const override { return items_.at(index).first; }
  std::string Mask() const override {
    return selected_ >= 0 && selected_ < ItemCount() ? items_[selected_].second : std::string();
  }

 private:
  std::vector<std::pair<std::string, std::string>> items_;
  int selected_ = 0;
};

class Plain : public Widget<Control> {
 public:
  using Widget::Widget;
};

class Form : public FormWindow {
 public:
  explicit Form(const ComponentLayout* desc) {
    if (!desc) return;
    properties_.Caption = desc->Caption;
    if (desc->Colour != ClDefault) properties_.Color = desc->Colour;
    properties_.Font.Name = desc->Font.Face;
    properties_.Font.Points = desc->Font.Points;
    properties_.Font.Bold = desc->Font.Bold;
    properties_.Font.Colour = desc->Font.Colour;
    properties_.Enabled = desc->Enabled;
  }
  FormProperties Properties() const override {
    FormProperties p = properties_;
    p.Active = active_;
    return p;
  }
  // The form becomes (or stops being) the active one; its events follow.
  void SetActive(bool active) {
    if (active == active_) return;
    active_ = active;
    auto& event = active ? OnActivate : OnDeactivate;
    if (event) event();
  }
  Control* Find(std::string_view name) const override {
    auto it = controls_.find(std::string(name));
    return it == controls_.end() ? nullptr : it->second.get();
  }
  void Show() override { properties_.Visible = true; }
  void Add(std::unique_ptr<Control> control) {
    std::string name(control->Name());
    order_.push_back(name);
    controls_[name] = std::move(control);
  }
  ~Form() override {
    // Children go before their parents, as a window system destroys them.
    for (auto it = order_.rbegin(); it != order_.rend(); ++it) controls_.erase(*it);
  }

 private:
  std::map<std::string, std::unique_ptr<Control>> controls_;
  std::vector<std::string> order_;
  bool active_ = false;
};

bool Reachable(const FormWindow& form) {
  const FormProperties p = form.Properties();
  return p.Enabled && p.Visible;
}

}  // namespace

Toolkit::Toolkit(Compare compare) : compare_(std::move(compare)) {
  if (!compare_) compare_ = text::CompareWordSort;
}

std::unique_ptr<FormWindow> Toolkit::BuildForm(FormLayout layout) {
  auto found = std::find_if(layout.begin(), layout.end(), [](auto& d) { return d.Kind == ComponentKind::Form; });
  auto form = std::make_unique<Form>(found == layout.end() ? nullptr : &*found);
  for (const ComponentLayout& desc : layout) {
    std::unique_ptr<Control> control;
    switch (desc.Kind) {
      case ComponentKind::TreeView: control = std::make_unique<Tree>(desc, compare_); break;
      case ComponentKind::ListView: control = std::make_unique<List>(desc); break;
      case ComponentKind::ProgressBar: control = std::make_unique<Bar>(desc); break;
      case ComponentKind::Image: control = std::make_unique<Picture>(desc); break;
      case ComponentKind::CheckBox: control = std::make_unique<Check>(desc); break;
      case ComponentKind::BitBtn: control = std::make_unique<Push>(desc); break;
      case ComponentKind::Edit: control = std::make_unique<Edit>(desc); break;
      case ComponentKind::FilterComboBox: control = std::make_unique<Filter>(desc); break;
      case ComponentKind::ImageList:
      case ComponentKind::SaveDialog: control = std::make_unique<Plain>(desc); break;
      default: control = std::make_unique<Label>(desc); break;
    }
    form->Add(std::move(control));
  }
  return form;
}

MsgAnswer Toolkit::MessageBox(std::string_view text, std::string_view caption, MsgButtons buttons, MsgIcon icon) {
  const bool scripted = !answers_.empty();
  MsgAnswer answer = UnscriptedAnswer;
  if (scripted) {
    answer = answers_.front();
    answers_.pop_front();
  }
  Asked.push_back({std::string(text), std::string(caption), buttons, icon, answer, scripted});
  return answer;
}

void Toolkit::Notice(std::string_view text, NoticeKind kind) { Notices.push_back({std::string(text), kind}); }

bool Toolkit::SaveDialog(SaveDialogOptions& options) {
  SaveDialogs.push_back(options);
  if (saves_.empty() || !saves_.front()) {
    if (!saves_.empty()) saves_.pop_front();
    return false;
  }
  options.FileName = *saves_.front();
  saves_.pop_front();
  return true;
}

int Toolkit::SetHourglass() {
  const int token = nextToken_++;
  savedCursors_[token] = hourglass_;
  hourglass_ = true;
  return token;
}

void Toolkit::RestoreCursor(int token) {
  auto it = savedCursors_.find(token);
  if (it == savedCursors_.end()) return;
  hourglass_ = it->second;
  savedCursors_.erase(it);
}

void Toolkit::Queue(std::function<void()> action, int afterPumps) {
  actions_.push_back({Pumps + static_cast<std::size_t>(std::max(afterPumps, 1)), std::move(action)});
}

void Toolkit::ProcessMessages() {
  ++Pumps;
  if (OnPump) OnPump();
  // Take the due actions out first: they may pump (and queue) again.
  std::vector<std::function<void()>> due;
  for (auto it = actions_.begin(); it != actions_.end();) {
    if (it->DuePump <= Pumps) {
      due.push_back(std::move(it->Action));
      it = actions_.erase(it);
    } else {
      ++it;
    }
  }
  for (auto& action : due) action();
}

void Click(Button& button) {
  if (button.Enabled() && button.Visible() && button.OnClick) button.OnClick();
}

void Click(CheckBox& box) {
  if (!box.Enabled() || !box.Visible()) return;
  box.SetChecked(!box.Checked());
  if (box.OnClick) box.OnClick();
}

void ClickNode(TreeView& tree, TreeNode node) {
  if (!tree.Enabled()) return;
  tree.Select(node);
  if (tree.OnClick) tree.OnClick();
}

void ClickRows(ListView& list, const std::vector<int>& rows) {
  if (!list.Enabled()) return;
  for (int i = 0; i < list.RowCount(); ++i) list.SetRowSelected(i, false);
  for (int row : rows) list.SetRowSelected(row, true);
  if (list.OnClick) list.OnClick();
}

void Type(EditBox& edit, std::string_view keys, FormWindow* form) {
  const bool preview = form && form->Properties().KeyPreview;
  for (char c : keys) {
    char key = c;
    if (preview && form->OnKeyPress) form->OnKeyPress(key);
    if (key != 0 && edit.OnKeyPress) edit.OnKeyPress(key);
    if (key != 0 && key != '\r') edit.SetText(edit.Text() + key);
  }
}

void PressKey(FormWindow& form, char& key) {
  if (Reachable(form) && form.OnKeyPress) form.OnKeyPress(key);
}

void ClickForm(FormWindow& form) {
  if (Reachable(form) && form.OnClick) form.OnClick();
}

void DoubleClickForm(FormWindow& form) {
  if (Reachable(form) && form.OnDblClick) form.OnDblClick();
}

void PaintForm(FormWindow& form) {
  if (form.Properties().Visible && form.OnPaint) form.OnPaint();
}

void ActivateForm(FormWindow& form, bool active) { static_cast<Form&>(form).SetActive(active); }

TreeNode FindNode(const TreeView& tree, std::string_view path, TreeNode from) {
  TreeNode at = from;
  while (!path.empty()) {
    // Matched by whole node texts, since a drive's text itself holds a
    // backslash: "C:\ (NTFS)".
    TreeNode found = nullptr;
    for (TreeNode c = tree.FirstChild(at); c && !found; c = tree.NextSibling(c)) {
      const std::string text = tree.Text(c);
      if (path.substr(0, text.size()) == text && (path.size() == text.size() || path[text.size()] == '\\')) found = c;
    }
    if (!found) return nullptr;
    const std::size_t used = tree.Text(found).size();
    path.remove_prefix(std::min(path.size(), used + 1));
    at = found;
  }
  return at;
}

std::string DumpTree(const TreeView& tree, TreeNode from, int depth) {
  std::ostringstream out;
  // Iterative walk: deep folder chains must not overflow the stack.
  std::vector<std::pair<TreeNode, int>> work;
  for (TreeNode c = tree.FirstChild(from); c; c = tree.NextSibling(c)) work.emplace_back(c, depth);
  std::reverse(work.begin(), work.end());
  while (!work.empty()) {
    auto [node, d] = work.back();
    work.pop_back();
    out << std::string(static_cast<std::size_t>(d) * 2, ' ') << tree.Text(node) << " [" << tree.Image(node) << "]\n";
    std::vector<std::pair<TreeNode, int>> kids;
    for (TreeNode c = tree.FirstChild(node); c; c = tree.NextSibling(c)) kids.emplace_back(c, d + 1);
    work.insert(work.end(), kids.rbegin(), kids.rend());
  }
  return out.str();
}

}  // namespace vant::headless
