#include "catalogue/folder_tree.h"

#include <chrono>
#include <cstdio>
#include <cstring>

namespace vant {
namespace {

constexpr int kFolderImage = 0, kDeletedFolderImage = 2, kRecycleBinImage = 5, kMyDocumentsImage = 6;

}  // namespace

std::string LostParentText(std::uint64_t record) {
  char text[32];
  std::snprintf(text, sizeof text, "dir 0x%08u", static_cast<unsigned>(record & 0xFFFFFFFFu));
  return text;
}

FolderTreeBuilder::FolderTreeBuilder(TreeView& tree, Catalogue& catalogue, TreeNode driveNode, TreeNode lostItemsNode,
                                     WorkObserver& observer)
    : tree_(tree), catalogue_(catalogue), drive_(driveNode), lost_(lostItemsNode), observer_(observer),
      folderNodes_(catalogue.Count(), nullptr), underWay_(catalogue.Count(), 0) {
  // Lost parents already under the lost-items node are found again.
  for (TreeNode c = lost_ ? tree_.FirstChild(lost_) : nullptr; c; c = tree_.NextSibling(c))
    if (auto* data = static_cast<FolderNodeData*>(tree_.Data(c))) lostParents_.emplace(data->RecordNumber, c);
}

bool FolderTreeBuilder::IsDirectoryEntry(std::uint64_t record) const {
  if (record >= catalogue_.Count()) return false;
  const FileEntry& e = catalogue_.At(static_cast<std::size_t>(record));
  return e.IsBaseRecord && e.IsDirectory;  // an entry that is not a base record counts as no directory
}

TreeNode FolderTreeBuilder::LostParentNode(std::uint64_t record) {
  auto it = lostParents_.find(record);
  if (it != lostParents_.end()) return it->second;
  TreeNode node = tree_.AddChild(lost_, LostParentText(record), FolderNodeData::Make(record), kFolderImage, kFolderImage);
  lostParents_.emplace(record, node);
  return node;
}

TreeNode FolderTreeBuilder::MakeFolderNode(std::size_t index, TreeNode parent) {
  FileEntry& e = catalogue_.At(index);
  if (e.Name && std::strcmp(e.Name, "RECYCLER") == 0) std::memcpy(e.Name, "PAPELERA", 8);  // same length, in place
  // Today's bin at the root is the bin too; its longer name is shortened in place.
  if (e.Name && e.ParentRecord == RootDirectoryRecord && IsRecycleBinName(e.Name)) std::memcpy(e.Name, "PAPELERA", 9);
  const std::string_view name = e.NameView();
  int image = e.IsDeleted ? kDeletedFolderImage : kFolderImage;
  if (name == "PAPELERA") image = kRecycleBinImage;
  else if (name == "Mis documentos") image = kMyDocumentsImage;
  TreeNode node = tree_.AddChild(parent ? parent : drive_, name, FolderNodeData::Make(e.RecordNumber, name, true), image, image);
  folderNodes_[index] = node;
  e.PendingPlacement = false;
  return node;
}

TreeNode FolderTreeBuilder::FindParentFolderNode(std::size_t index) {
  // Walk up through the ancestors that have no node yet, then make their
  // nodes from the top down.
  std::vector<std::size_t> chain;
  underWay_[index] = 1;
  TreeNode top = nullptr;  // null: the drive node
  std::uint64_t parent = catalogue_.At(index).ParentRecord;
  for (;;) {
    if (parent == RootDirectoryRecord) break;
    if (!IsDirectoryEntry(parent) || underWay_[parent]) {
      top = LostParentNode(parent);
      break;
    }
    if (TreeNode known = folderNodes_[parent]) {
      top = known;
      break;
    }
    chain.push_back(static_cast<std::size_t>(parent));
    underWay_[parent] = 1;
    parent = catalogue_.At(static_cast<std::size_t>(parent)).ParentRecord;
  }
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) top = MakeFolderNode(*it, top);
  for (std::size_t i : chain) underWay_[i] = 0;
  underWay_[index] = 0;
  return top;
}

void FolderTreeBuilder::BuildFolderTree() {
  PumpBudget pump;
  const std::size_t count = catalogue_.Count();
  for (std::size_t i = 0; i < count; ++i) {
    const FileEntry& e = catalogue_.At(i);
    if (e.PendingPlacement && e.IsDirectory && e.IsBaseRecord && i != RootDirectoryRecord && !folderNodes_[i]) {
      TreeNode parent = FindParentFolderNode(i);
      MakeFolderNode(i, parent);
    }
    observer_.StepProgress(1);
    if (pump.Due()) {
      observer_.Pump();
    }
  }
  observer_.Pump();
}

void CopyFolderSubtree(TreeView& tree, TreeNode source, TreeNode target) {
  std::vector<std::pair<TreeNode, TreeNode>> work{{source, target}};
  while (!work.empty()) {
    auto [from, to] = work.back();
    work.pop_back();
    const auto* data = static_cast<const FolderNodeData*>(tree.Data(from));
    ReleaseNodeData(tree, to);
    if (data) tree.SetData(to, FolderNodeData::Make(data->RecordNumber, data->NameView(), data->Name != nullptr));
    std::vector<std::pair<TreeNode, TreeNode>> children;
    for (TreeNode c = tree.FirstChild(from); c; c = tree.NextSibling(c))
      children.emplace_back(c, tree.AddChild(to, tree.Text(c), nullptr, 0, 0));
    work.insert(work.end(), children.rbegin(), children.rend());
  }
}

void ReleaseNodeData(TreeView& tree, TreeNode node) {
  delete static_cast<FolderNodeData*>(tree.Data(node));
  tree.SetData(node, nullptr);
}

}  // namespace vant
