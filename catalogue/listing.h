// Catalogue entries as list rows, the folder path of an entry, and the index
// of entries by parent that makes listing a folder cost what the folder holds.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "platform/toolkit.h"

namespace vant {

// "%02d/%02d/%d  %02d:%02d:%02d" (day, month, year, time) in UTC; none for a
// FILETIME the platform cannot convert (top bit set).
std::optional<std::string> FormatFileTime(std::int64_t filetime);

// What a row needs besides the entry: the catalogue (for folder paths), the
// drive letter and the lost-items node.
struct RowContext {
  const Catalogue& Entries;
  const TreeView& Tree;
  TreeNode LostItemsNode;
  char DriveLetter;
};

// The entry's folder path below the drive root, each folder followed by a
// backslash; empty for the root folder. Stops at a lost parent (adding
// "Elementos perdidos\dir 0x...\" when such a node exists) and on cycles.
std::string BuildFolderPath(const RowContext& context, const FileEntry& entry);

// The same path in its parts, for callers that show or write each folder's
// name in their own way: the captions of the lost-items and placeholder
// nodes when the walk met a lost parent, then the folder entries from the
// top down.
struct FolderPathParts {
  std::vector<std::string> LostCaptions;
  std::vector<const FileEntry*> Folders;
};
FolderPathParts BuildFolderPathParts(const RowContext& context, const FileEntry& entry);

// The captions after the image column: name, [folder,] size, three times.
std::vector<std::string> FileRowTexts(const RowContext& context, const FileEntry& entry, bool withFolder);

// Adds the entry's row unless `deletedOnly` rejects it; true when added.
// The row's texts come from the list's TextsOf (see ShowFileRows).
bool AddFileRow(ListView& list, FileEntry& entry, bool deletedOnly);

// Makes `list` show its rows' entries by FileRowTexts, with the context
// `context` gives at the time a row is shown.
void ShowFileRows(ListView& list, std::function<RowContext()> context, bool withFolder);

// The non-directory base entries of each parent record, in record order.
class ChildIndex {
 public:
  void Build(const Catalogue& catalogue);
  void Clear();
  std::span<const std::uint32_t> FilesOf(std::uint64_t parentRecord) const;

 private:
  std::vector<std::uint32_t> start_;  // per parent record below the count: first slot in files_
  std::vector<std::uint32_t> files_;
  // Files whose parent lies past the catalogue's end, sorted by parent.
  std::vector<std::pair<std::uint64_t, std::uint32_t>> beyond_;
  std::vector<std::uint64_t> beyondParents_;
  std::vector<std::uint32_t> beyondFiles_;
};

}  // namespace vant
