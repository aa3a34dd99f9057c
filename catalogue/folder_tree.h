// The folder tree below an analysed drive, built from the catalogue: every
// directory record, live or deleted, under its parent's node; directories
// whose parent is gone under "Elementos perdidos", grouped by the missing
// parent's record number.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "catalogue/catalogue.h"
#include "platform/toolkit.h"
#include "platform/work_observer.h"

namespace vant {

// "dir 0x%08u" of the low 32 bits: decimal digits after the letters "0x".
std::string LostParentText(std::uint64_t record);

class FolderTreeBuilder {
 public:
  FolderTreeBuilder(TreeView& tree, Catalogue& catalogue, TreeNode driveNode, TreeNode lostItemsNode,
                    WorkObserver& observer);

  // Places every directory entry once; steps the progress once per entry.
  void BuildFolderTree();
  // The node under which entry `index` goes, making missing ancestors on the
  // way; null means the drive node. Iterative: any depth of nesting works,
  // and a cycle of parent references is cut by treating the entry whose
  // placement is under way as lost.
  TreeNode FindParentFolderNode(std::size_t index);
  // The node made for a directory entry, or null.
  TreeNode FolderNode(std::size_t index) const { return index < folderNodes_.size() ? folderNodes_[index] : nullptr; }

 private:
  TreeNode MakeFolderNode(std::size_t index, TreeNode parent);
  TreeNode LostParentNode(std::uint64_t record);
  bool IsDirectoryEntry(std::uint64_t record) const;

  TreeView& tree_;
  Catalogue& catalogue_;
  TreeNode drive_;
  TreeNode lost_;
  WorkObserver& observer_;
  std::vector<TreeNode> folderNodes_;
  std::vector<std::uint8_t> underWay_;
  std::unordered_map<std::uint64_t, TreeNode> lostParents_;
};

// Gives `target` a copy of the source's data and of its whole subtree (the
// copies keep the default image 0). The target's old data is released.
void CopyFolderSubtree(TreeView& tree, TreeNode source, TreeNode target);

// Releases the FolderNodeData of a node (the tree's deletion handler).
void ReleaseNodeData(TreeView& tree, TreeNode node);

}  // namespace vant
