#include "ntfs/recycle_bin.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>
#include <unordered_set>

#include "ntfs/attributes.h"
#include "ntfs/fixups.h"
#include "ntfs/layout.h"
#include "ntfs/record_decoder.h"

namespace vant {

using namespace ntfs;

namespace {

// $I value.
namespace info {
inline constexpr std::size_t Version = 0;       // u64: 1 or 2
inline constexpr std::size_t Size = 8;          // u64
inline constexpr std::size_t DeletionTime = 16; // FILETIME
inline constexpr std::size_t V1Path = 24;       // 260 UTF-16 units
inline constexpr std::size_t V1PathUnits = 260;
inline constexpr std::size_t V2Count = 24;      // u32, units including the NUL
inline constexpr std::size_t V2Path = 28;
}  // namespace info

// INFO2 file.
namespace info2 {
inline constexpr std::size_t RecordSizeField = 12;  // u32 in the 20-byte header
inline constexpr std::size_t Header = 20;
inline constexpr std::size_t RecordSize = 800;
inline constexpr std::size_t AnsiPath = 0;      // 260 bytes
inline constexpr std::size_t Index = 260;       // u32
inline constexpr std::size_t Drive = 264;       // u32, 0 = A
inline constexpr std::size_t DeletionTime = 268;
inline constexpr std::size_t Size = 276;        // u32, rounded up to clusters
inline constexpr std::size_t UnicodePath = 280; // 260 UTF-16 units
inline constexpr std::size_t PathUnits = 260;
}  // namespace info2

// "X:\..." or "\\server\share...".
bool IsAbsolute(std::u16string_view path) {
  if (path.size() >= 3 && path[1] == u':' && path[2] == u'\\') {
    const char16_t d = path[0] | 0x20;
    return d >= u'a' && d <= u'z';
  }
  return path.size() >= 3 && path[0] == u'\\' && path[1] == u'\\' && path[2] != u'\\';
}

// Units up to the first NUL within `units`; none when there is no NUL.
std::optional<std::u16string> Terminated(std::span<const std::uint8_t> bytes, std::size_t units) {
  std::u16string text;
  for (std::size_t i = 0; i < units && 2 * i + 1 < bytes.size(); ++i) {
    const char16_t unit = static_cast<char16_t>(GetU16(bytes.data() + 2 * i));
    if (unit == 0) return text;
    text += unit;
  }
  return std::nullopt;
}

// The unnamed $DATA of an entry's record, read again from the volume.
std::vector<std::uint8_t> DataOf(VolumeDevice& volume, const FileEntry& entry, std::uint32_t recordSize,
                                 std::uint64_t clusterSize, std::size_t maxBytes) {
  std::vector<std::uint8_t> record(recordSize);
  if (!volume.Seek(entry.RecordOffset) || volume.Read(record.data(), record.size()) != record.size()) return {};
  if (!IsValidBaseRecord(record) || ApplyFixups(record) == FixupResult::Invalid) return {};
  const auto data = FindAttribute(record, attr::Data);
  if (!data) return {};
  // Whole sectors only: a raw volume refuses reads of other lengths.
  return AttributeValue(*data, clusterSize, maxBytes, [&volume](std::uint64_t offset, std::uint8_t* out, std::size_t count) {
    const std::uint64_t start = offset & ~std::uint64_t{511};
    const std::size_t lead = static_cast<std::size_t>(offset - start);
    std::vector<std::uint8_t> sectors((lead + count + 511) & ~std::size_t{511});
    if (!volume.Seek(start)) return std::size_t{0};
    const std::size_t got = volume.Read(sectors.data(), sectors.size());
    if (got <= lead) return std::size_t{0};
    const std::size_t n = std::min(count, got - lead);
    std::memcpy(out, sectors.data() + lead, n);
    return n;
  });
}

// "D", a drive letter, digits, then "." or the end: the digits' value.
std::optional<std::uint32_t> OldBinIndex(std::string_view name, char& letter) {
  if (name.size() < 3 || name[0] != 'D') return std::nullopt;
  letter = static_cast<char>(name[1] | 0x20);
  if (letter < 'a' || letter > 'z') return std::nullopt;
  std::uint64_t value = 0;
  std::size_t i = 2;
  for (; i < name.size() && name[i] != '.'; ++i) {
    if (name[i] < '0' || name[i] > '9' || value > 0xFFFFFFFFull / 10) return std::nullopt;
    value = value * 10 + static_cast<std::uint64_t>(name[i] - '0');
  }
  if (i == 2 || value > 0xFFFFFFFFull) return std::nullopt;
  return static_cast<std::uint32_t>(value);
}

}  // namespace

std::optional<RecycledOrigin> DecodeRecycleInfo(std::span<const std::uint8_t> value) {
  if (value.size() < info::V2Path) return std::nullopt;
  RecycledOrigin origin;
  origin.Size = GetU64(value.data() + info::Size);
  origin.DeletionTime = GetI64(value.data() + info::DeletionTime);
  std::optional<std::u16string> path;
  switch (GetU64(value.data() + info::Version)) {
    case 1:
      if (value.size() < info::V1Path + 2 * info::V1PathUnits) return std::nullopt;
      path = Terminated(value.subspan(info::V1Path), info::V1PathUnits);
      break;
    case 2: {
      const std::size_t units = GetU32(value.data() + info::V2Count);
      if (units == 0 || units > (value.size() - info::V2Path) / 2) return std::nullopt;
      path = Terminated(value.subspan(info::V2Path), units);
      break;
    }
    default:
      return std::nullopt;
  }
  if (!path || !IsAbsolute(*path)) return std::nullopt;
  origin.Path = std::move(*path);
  return origin;
}

std::vector<Info2Record> DecodeInfo2(std::span<const std::uint8_t> value) {
  std::vector<Info2Record> records;
  if (value.size() < info2::Header || GetU32(value.data() + info2::RecordSizeField) != info2::RecordSize) return records;
  for (std::size_t at = info2::Header; value.size() - at >= info2::RecordSize; at += info2::RecordSize) {
    const auto r = value.subspan(at, info2::RecordSize);
    const std::uint32_t drive = GetU32(r.data() + info2::Drive);
    if (drive > 25) continue;
    Info2Record record;
    record.Index = GetU32(r.data() + info2::Index);
    record.DriveLetter = static_cast<char>('a' + drive);
    record.Origin.DeletionTime = GetI64(r.data() + info2::DeletionTime);
    record.Origin.Size = GetU32(r.data() + info2::Size);
    auto path = Terminated(r.subspan(info2::UnicodePath), info2::PathUnits);
    if (!path || path->empty()) {
      // Only the 8-bit path was written: its bytes as Latin-1.
      path.emplace();
      for (std::size_t i = 0; i < info2::PathUnits && r[info2::AnsiPath + i] != 0; ++i) *path += char16_t(r[info2::AnsiPath + i]);
    }
    if (!IsAbsolute(*path)) continue;
    record.Origin.Path = std::move(*path);
    records.push_back(std::move(record));
  }
  return records;
}

std::size_t ReadRecycleBins(VolumeDevice& volume, Catalogue& catalogue, std::uint32_t recordSize,
                            std::uint64_t clusterSize) {
  const std::size_t count = catalogue.Count();
  // The bins at the root, then the per-user folders in them.
  std::unordered_set<std::uint64_t> holders;
  for (std::size_t i = 0; i < count; ++i) {
    const FileEntry& e = catalogue.At(i);
    if (!e.IsBaseRecord || !e.IsDirectory || e.ParentRecord != RootDirectoryRecord) continue;
    if (IsRecycleBinName(e.NameView()) || e.NameView() == "RECYCLER") holders.insert(i);
  }
  if (holders.empty()) return 0;
  const std::unordered_set<std::uint64_t> bins = holders;
  for (std::size_t i = 0; i < count; ++i) {
    const FileEntry& e = catalogue.At(i);
    if (e.IsBaseRecord && e.IsDirectory && bins.count(e.ParentRecord)) holders.insert(i);
  }
  std::unordered_map<std::uint64_t, std::vector<std::size_t>> items;  // by holding folder
  for (std::size_t i = 0; i < count; ++i) {
    const FileEntry& e = catalogue.At(i);
    if (e.IsBaseRecord && holders.count(e.ParentRecord) && !e.NameView().empty()) items[e.ParentRecord].push_back(i);
  }

  std::size_t given = 0;
  std::unordered_set<std::uint64_t> recycledFolders;
  for (auto& [folder, members] : items) {
    // What the folder's $I files and INFO2 say, by the name's suffix / index.
    std::unordered_map<std::string, std::pair<RecycledOrigin, bool>> bySuffix;  // origin, from a live $I
    std::unordered_map<std::uint64_t, RecycledOrigin> byIndex;                  // letter << 32 | index
    for (std::size_t i : members) {
      const FileEntry& e = catalogue.At(i);
      const std::string_view name = e.NameView();
      if (e.IsDirectory) continue;
      if (name.size() > 2 && name.substr(0, 2) == "$I") {
        auto origin = DecodeRecycleInfo(DataOf(volume, e, recordSize, clusterSize, 1 << 17));
        if (!origin) continue;
        auto [it, added] = bySuffix.try_emplace(std::string(name.substr(2)), *origin, !e.IsDeleted);
        // A live $I wins over a deleted one of the same name (a reused suffix).
        if (!added && !it->second.second && !e.IsDeleted) it->second = {std::move(*origin), true};
      } else if (name == "INFO2") {
        for (Info2Record& r : DecodeInfo2(DataOf(volume, e, recordSize, clusterSize, 16 << 20)))
          byIndex.try_emplace((std::uint64_t(std::uint8_t(r.DriveLetter)) << 32) | r.Index, std::move(r.Origin));
      }
    }
    for (std::size_t i : members) {
      FileEntry& e = catalogue.At(i);
      const std::string_view name = e.NameView();
      const RecycledOrigin* origin = nullptr;
      bool item = false;
      if (name.size() > 2 && name.substr(0, 2) == "$R") {
        item = true;
        if (auto it = bySuffix.find(std::string(name.substr(2))); it != bySuffix.end()) origin = &it->second.first;
      } else if (char letter = 0; !byIndex.empty()) {
        if (auto index = OldBinIndex(name, letter)) {
          if (auto it = byIndex.find((std::uint64_t(std::uint8_t(letter)) << 32) | *index); it != byIndex.end()) {
            origin = &it->second;
            item = true;
          }
        }
      }
      if (!item) continue;
      if (!e.IsDeleted) e.HeldInBin = true;
      e.IsDeleted = true;
      if (e.IsDirectory) recycledFolders.insert(i);
      if (origin) {
        catalogue.SetOrigin(e, *origin);
        ++given;
      }
    }
  }
  // Whatever lies inside a recycled folder is in the bin too: one pass per
  // level of folders, as parents may come after their children.
  for (std::size_t level = 0; !recycledFolders.empty() && level < 256; ++level) {
    std::unordered_set<std::uint64_t> found;
    for (std::size_t i = 0; i < count; ++i) {
      FileEntry& e = catalogue.At(i);
      if (!e.IsBaseRecord || !recycledFolders.count(e.ParentRecord) || recycledFolders.count(i)) continue;
      if (!e.IsDeleted) e.HeldInBin = true;
      e.IsDeleted = true;
      if (e.IsDirectory) found.insert(i);
    }
    if (found.empty()) break;
    recycledFolders.insert(found.begin(), found.end());
  }
  return given;
}

}  // namespace vant
