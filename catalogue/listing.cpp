#include "catalogue/listing.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <unordered_set>

#include "catalogue/folder_tree.h"

namespace vant {
namespace {

// Days from 1970-01-01 to a civil date (proleptic Gregorian).
void CivilFromDays(std::int64_t days, int& year, int& month, int& day) {
  days += 719468;
  const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const std::int64_t doe = days - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<int>(yoe + era * 400 + (month <= 2));
}

}  // namespace

std::optional<std::string> FormatFileTime(std::int64_t filetime) {
  if (filetime < 0) return std::nullopt;
  constexpr std::int64_t kTicksPerSecond = 10'000'000;
  constexpr std::int64_t kSecondsFrom1601To1970 = 11'644'473'600;
  const std::int64_t seconds = filetime / kTicksPerSecond - kSecondsFrom1601To1970;
  const std::int64_t days = (seconds >= 0 ? seconds : seconds - 86399) / 86400;
  const std::int64_t secondOfDay = seconds - days * 86400;
  int year, month, day;
  CivilFromDays(days, year, month, day);
  if (year > 30827) return std::nullopt;
  char text[48];
  std::snprintf(text, sizeof text, "%02d/%02d/%d  %02d:%02d:%02d", day, month, year,
                static_cast<int>(secondOfDay / 3600), static_cast<int>(secondOfDay / 60 % 60),
                static_cast<int>(secondOfDay % 60));
  return std::string(text);
}

FolderPathParts BuildFolderPathParts(const RowContext& context, const FileEntry& entry) {
  FolderPathParts parts;
  std::unordered_set<std::uint64_t> seen;  // a cycle of parents ends the walk
  const FileEntry* at = &entry;
  while (at->ParentRecord != RootDirectoryRecord) {
    const std::uint64_t parent = at->ParentRecord;
    if (parent < context.Entries.Count()) {
      const FileEntry& folder = context.Entries.At(static_cast<std::size_t>(parent));
      if (folder.IsBaseRecord && folder.IsDirectory) {
        if (!seen.insert(parent).second) break;
        parts.Folders.push_back(&folder);
        at = &folder;
        continue;
      }
    }
    if (context.LostItemsNode) {
      for (TreeNode c = context.Tree.FirstChild(context.LostItemsNode); c; c = context.Tree.NextSibling(c)) {
        const auto* data = static_cast<const FolderNodeData*>(context.Tree.Data(c));
        if (data && data->RecordNumber == parent) {
          parts.LostCaptions = {"Elementos perdidos", context.Tree.Text(c)};
          break;
        }
      }
    }
    break;
  }
  std::reverse(parts.Folders.begin(), parts.Folders.end());
  return parts;
}

std::string BuildFolderPath(const RowContext& context, const FileEntry& entry) {
  const FolderPathParts parts = BuildFolderPathParts(context, entry);
  std::string path;
  for (const std::string& caption : parts.LostCaptions) path += caption + '\\';
  for (const FileEntry* folder : parts.Folders) path += std::string(folder->NameView()) + '\\';
  return path;
}

std::vector<std::string> FileRowTexts(const RowContext& context, const FileEntry& entry, bool withFolder) {
  std::vector<std::string> texts;
  // An item of the recycle bin shows the name it had before it went there.
  const RecycledOrigin* origin = context.Entries.OriginOf(entry);
  texts.push_back(origin ? origin->Leaf8() : std::string(entry.NameView()));
  if (withFolder) texts.push_back(std::string{context.DriveLetter, ':', '\\'} + BuildFolderPath(context, entry));
  char size[32];
  std::snprintf(size, sizeof size, "%" PRId64, static_cast<std::int64_t>(entry.FileSize));
  texts.emplace_back(size);
  // A time that cannot be converted leaves its column and the later ones empty.
  for (std::int64_t t : {entry.CreationTime, entry.ModificationTime, entry.AccessTime}) {
    auto text = FormatFileTime(t);
    if (!text) break;
    texts.push_back(std::move(*text));
  }
  return texts;
}

bool AddFileRow(ListView& list, FileEntry& entry, bool deletedOnly) {
  if (deletedOnly && !entry.IsDeleted) return false;
  list.AddRow(entry.IsDeleted ? 2 : 0, &entry);
  return true;
}

void ShowFileRows(ListView& list, std::function<RowContext()> context, bool withFolder) {
  list.TextsOf = [context = std::move(context), withFolder](void* data) {
    return FileRowTexts(context(), *static_cast<const FileEntry*>(data), withFolder);
  };
}

void ChildIndex::Clear() {
  start_.clear();
  files_.clear();
  beyond_.clear();
  beyondParents_.clear();
  beyondFiles_.clear();
}

void ChildIndex::Build(const Catalogue& catalogue) {
  Clear();
  const std::size_t count = catalogue.Count();
  start_.assign(count + 1, 0);
  auto listed = [&](const FileEntry& e) { return e.IsBaseRecord && !e.IsDirectory; };
  for (std::size_t i = 0; i < count; ++i) {
    const FileEntry& e = catalogue.At(i);
    if (!listed(e)) continue;
    if (e.ParentRecord < count) ++start_[e.ParentRecord + 1];
    else beyond_.emplace_back(e.ParentRecord, static_cast<std::uint32_t>(i));
  }
  for (std::size_t p = 0; p < count; ++p) start_[p + 1] += start_[p];
  files_.resize(start_[count]);
  std::vector<std::uint32_t> next(start_.begin(), start_.end() - 1);
  for (std::size_t i = 0; i < count; ++i) {
    const FileEntry& e = catalogue.At(i);
    if (listed(e) && e.ParentRecord < count) files_[next[e.ParentRecord]++] = static_cast<std::uint32_t>(i);
  }
  std::stable_sort(beyond_.begin(), beyond_.end(), [](auto& a, auto& b) { return a.first < b.first; });
  for (auto& [parent, index] : beyond_) {
    beyondParents_.push_back(parent);
    beyondFiles_.push_back(index);
  }
  beyond_.clear();
}

std::span<const std::uint32_t> ChildIndex::FilesOf(std::uint64_t parentRecord) const {
  if (!start_.empty() && parentRecord < start_.size() - 1)
    return std::span(files_).subspan(start_[parentRecord], start_[parentRecord + 1] - start_[parentRecord]);
  const auto range = std::equal_range(beyondParents_.begin(), beyondParents_.end(), parentRecord);
  return std::span(beyondFiles_)
      .subspan(static_cast<std::size_t>(range.first - beyondParents_.begin()),
               static_cast<std::size_t>(range.second - range.first));
}

}  // namespace vant
