#include "ntfs/index_remnants.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <map>
#include <set>
#include <tuple>

#include "ntfs/attributes.h"
#include "ntfs/fixups.h"
#include "ntfs/layout.h"
#include "ntfs/mapping_pairs.h"

namespace vant {

using namespace ntfs;

bool IndexRemnant::IsDirectory() const { return (FileFlags & fn::FlagFolder) != 0; }

namespace {

constexpr std::int64_t kFirstOf1980 = 119'600'064'000'000'000;  // FILETIME of 1 January 1980, 00:00 UTC
constexpr std::int64_t kOneYear = 366LL * 24 * 3600 * 10'000'000;  // a leap year's worth, to be fair to both
constexpr std::size_t kMinBlock = 512, kMaxBlock = 65536;

std::size_t Align8(std::size_t n) { return (n + 7) & ~std::size_t{7}; }

bool PowerOfTwoBlock(std::uint64_t size) { return size >= kMinBlock && size <= kMaxBlock && (size & (size - 1)) == 0; }

// The key at `at` when every rule holds; its slot ends at `end`.
std::optional<IndexRemnant> KeyAt(std::span<const std::uint8_t> block, std::size_t at, std::size_t end,
                                  const IndexKeyRules& rules) {
  if (at + fn::Name > end) return std::nullopt;
  const std::uint8_t* key = block.data() + at;
  if ((GetU64(key + fn::ParentReference) & RecordNumberMask) != rules.Folder) return std::nullopt;
  const std::size_t units = key[fn::NameLength];
  if (units == 0 || key[fn::Namespace] > 3 || fn::Name + 2 * units > end - at) return std::nullopt;
  IndexRemnant r;
  r.Folder = rules.Folder;
  r.CreationTime = GetI64(key + fn::CreationTime);
  r.ModificationTime = GetI64(key + fn::ModificationTime);
  r.ChangeTime = GetI64(key + fn::ChangeTime);
  r.AccessTime = GetI64(key + fn::AccessTime);
  // No fixed upper year: a volume's own newest time says what "recent" is.
  const std::int64_t latest =
      rules.NewestTime > std::numeric_limits<std::int64_t>::max() - kOneYear ? std::numeric_limits<std::int64_t>::max()
                                                                            : rules.NewestTime + kOneYear;
  for (std::int64_t t : {r.CreationTime, r.ModificationTime, r.ChangeTime, r.AccessTime})
    if (t < kFirstOf1980 || t > latest) return std::nullopt;
  r.AllocatedSize = GetU64(key + fn::AllocatedSize);
  r.RealSize = GetU64(key + fn::RealSize);
  if (r.AllocatedSize < r.RealSize || r.AllocatedSize >= rules.VolumeBytes) return std::nullopt;
  r.Name.resize(units);
  for (std::size_t i = 0; i < units; ++i) {
    const char16_t u = GetU16(key + fn::Name + 2 * i);
    if (u == 0 || u == u'/') return std::nullopt;
    r.Name[i] = u;
  }
  r.FileFlags = GetU32(key + fn::FileFlags);
  r.Namespace = key[fn::Namespace];
  // The entry's header, when what it says fits this very key.
  if (at >= ientry::Key) {
    const std::uint8_t* entry = key - ientry::Key;
    const std::size_t keyLength = GetU16(entry + ientry::KeyLength);
    const std::size_t length = GetU16(entry + ientry::Length);
    const std::uint16_t flags = GetU16(entry + ientry::Flags);
    const std::size_t wanted = Align8(ientry::Key + keyLength) + ((flags & ientry::FlagChild) ? 8 : 0);
    const std::uint64_t reference = GetU64(entry + ientry::FileReference);
    if (keyLength == fn::Name + 2 * units && length == wanted && (flags & ~3u) == 0 &&
        (reference & RecordNumberMask) < rules.Records) {
      r.HasReference = true;
      r.Record = reference & RecordNumberMask;
      r.Sequence = static_cast<std::uint16_t>(reference >> 48);
    }
  }
  return r;
}

// The entries from `at` up to `end` (the end marker, or a length that does
// not fit, stops the walk): reference and name of each.
void LiveEntries(std::span<const std::uint8_t> bytes, std::size_t at, std::size_t end,
                 std::vector<std::pair<std::uint64_t, std::u16string>>& out) {
  end = std::min(end, bytes.size());
  while (at <= end && end - at >= ientry::Key) {
    const std::uint8_t* e = bytes.data() + at;
    const std::size_t length = GetU16(e + ientry::Length);
    const std::size_t keyLength = GetU16(e + ientry::KeyLength);
    if ((GetU16(e + ientry::Flags) & ientry::FlagLast) || length < ientry::Key || length > end - at) break;
    if (keyLength >= fn::Name && ientry::Key + keyLength <= length) {
      const std::size_t units = e[ientry::Key + fn::NameLength];
      if (fn::Name + 2 * units <= keyLength) {
        std::u16string name(units, u'\0');
        for (std::size_t i = 0; i < units; ++i) name[i] = GetU16(e + ientry::Key + fn::Name + 2 * i);
        out.emplace_back(GetU64(e + ientry::FileReference) & RecordNumberMask, std::move(name));
      }
    }
    at += length;
  }
}

}  // namespace

IndexBlockScan ScanIndexBlock(std::span<std::uint8_t> block, bool inUse, const IndexKeyRules& rules) {
  IndexBlockScan scan;
  if (block.size() < kMinBlock || std::memcmp(block.data(), "INDX", 4) != 0) return scan;
  const FixupResult fixed = ApplyFixups(block);
  if (fixed == FixupResult::Invalid) return scan;
  scan.FixupMismatch = fixed == FixupResult::Mismatch;
  const std::uint8_t* node = block.data() + indx::Node;
  const std::uint64_t entries = GetU32(node + node::EntriesOffset);
  const std::uint64_t used = GetU32(node + node::IndexLength);
  const std::uint64_t allocated = std::min<std::uint64_t>(GetU32(node + node::AllocatedLength), block.size() - indx::Node);
  const bool sane = entries >= node::Size && entries <= used && used <= allocated;
  std::size_t from, to;
  if (inUse) {
    if (!sane) return scan;
    LiveEntries(block, indx::Node + entries, indx::Node + used, scan.Live);
    from = indx::Node + used;
    to = indx::Node + allocated;
  } else {
    // A free block is read whole: its entries are as gone as its slack.
    from = sane ? indx::Node + entries : indx::HeaderMin;
    to = block.size();
  }
  scan.Valid = true;
  for (std::size_t at = Align8(from); at + fn::Name <= to; at += 8)
    if (auto key = KeyAt(block, at, to, rules)) {
      key->FromFreeBlock = !inUse;
      scan.Keys.push_back(std::move(*key));
    }
  return scan;
}

namespace {

// The volume as the folders' indexes are read from it.
class IndexReader {
 public:
  IndexReader(VolumeDevice& volume, const NtfsBootSector& boot, std::int8_t clustersPerIndex)
      : volume_(volume), boot_(boot), volumeBytes_(boot.TotalSectors * boot.BytesPerSector) {
    if (clustersPerIndex > 0) defaultBlock_ = std::uint64_t(clustersPerIndex) * boot.ClusterSize;
    else if (clustersPerIndex < 0 && clustersPerIndex >= -16) defaultBlock_ = std::uint64_t{1} << -clustersPerIndex;
  }
  std::uint64_t VolumeBytes() const { return volumeBytes_; }

  // Reads whole or not at all, never past the volume's end.
  bool ReadAt(std::uint64_t offset, std::uint8_t* out, std::size_t count) {
    if (offset >= volumeBytes_ || count > volumeBytes_ - offset || !volume_.Seek(offset)) return false;
    return volume_.Read(out, count) == count;
  }

  bool ReadRecord(const FileEntry& entry, std::vector<std::uint8_t>& record) {
    record.resize(boot_.RecordSize);
    if (!ReadAt(entry.RecordOffset, record.data(), record.size()) || std::memcmp(record.data(), "FILE", 4) != 0)
      return false;
    // A torn record is read as it is: its attributes are walked with every bound checked.
    return ApplyFixups(record) != FixupResult::Invalid;
  }

  // The index's attributes in the folder's base record.
  struct I30 {
    std::optional<AttributeView> Root, Allocation, Bitmap;
  };
  static I30 FindI30(std::span<const std::uint8_t> record) {
    I30 found;
    if (record.size() < rec::HeaderMin) return found;
    for (std::size_t offset = GetU16(record.data() + rec::FirstAttribute);;) {
      auto a = AttributeAt(record, offset);
      if (!a) break;
      offset += a->Bytes.size();
      const std::size_t nameAt = GetU16(a->Bytes.data() + attr::NameOffset);
      if (a->NameLength() != 4 || nameAt > a->Bytes.size() || a->Bytes.size() - nameAt < 8) continue;
      bool i30 = true;
      for (std::size_t i = 0; i < 4; ++i) i30 = i30 && GetU16(a->Bytes.data() + nameAt + 2 * i) == u"$I30"[i];
      if (!i30) continue;
      if (a->Type() == attr::IndexRoot && !found.Root) found.Root = a;
      if (a->Type() == attr::IndexAllocation && a->NonResident() && !found.Allocation) found.Allocation = a;
      if (a->Type() == attr::Bitmap && !found.Bitmap) found.Bitmap = a;
    }
    return found;
  }

  // The index block size: the root's, else the boot sector's.
  std::uint64_t BlockSize(const std::optional<std::span<const std::uint8_t>>& root) const {
    if (root && root->size() >= iroot::Node) {
      const std::uint64_t size = GetU32(root->data() + iroot::BlockSize);
      if (PowerOfTwoBlock(size)) return size;
    }
    return PowerOfTwoBlock(defaultBlock_) ? defaultBlock_ : 0;
  }

  // `count` bytes at byte `offset` of a non-resident value, through its runs.
  bool ReadValue(const std::vector<Extent>& extents, std::uint64_t offset, std::uint8_t* out, std::size_t count) {
    const std::uint64_t cs = boot_.ClusterSize;
    while (count > 0) {
      const std::uint64_t vcn = offset / cs;
      auto e = std::find_if(extents.begin(), extents.end(), [&](const Extent& x) {
        return x.Vcn >= 0 && x.Length > 0 && vcn >= std::uint64_t(x.Vcn) && vcn - std::uint64_t(x.Vcn) < std::uint64_t(x.Length);
      });
      if (e == extents.end() || e->Sparse()) return false;
      std::uint64_t lcnByte, runEnd;
      if (__builtin_mul_overflow(std::uint64_t(e->Lcn) + (vcn - std::uint64_t(e->Vcn)), cs, &lcnByte) ||
          __builtin_mul_overflow(std::uint64_t(e->Vcn) + std::uint64_t(e->Length), cs, &runEnd))
        return false;
      const std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(count, runEnd - offset));
      if (!ReadAt(lcnByte + offset % cs, out, take)) return false;
      out += take;
      offset += take;
      count -= take;
    }
    return true;
  }

  VolumeReader Reader() {
    return [this](std::uint64_t offset, std::uint8_t* out, std::size_t count) -> std::size_t {
      return ReadAt(offset, out, count) ? count : 0;
    };
  }
  std::uint64_t ClusterSize() const { return boot_.ClusterSize; }

 private:
  VolumeDevice& volume_;
  NtfsBootSector boot_;
  std::uint64_t volumeBytes_ = 0;
  std::uint64_t defaultBlock_ = 0;
};

// The name as the catalogue keeps it equals the key's (low bytes only, when
// the catalogue keeps no volume names).
bool SameName(const Catalogue& catalogue, const FileEntry& entry, const std::u16string& name) {
  const std::u16string_view wide = catalogue.VolumeName(entry);
  if (!wide.empty()) return wide == name;
  const std::string_view narrow = entry.NameView();
  if (narrow.size() != name.size()) return false;
  for (std::size_t i = 0; i < name.size(); ++i)
    if (static_cast<unsigned char>(narrow[i]) != (name[i] & 0xFF)) return false;
  return true;
}

// Every consistent key of one folder's index, and what the index still lists.
struct FolderKeys {
  std::vector<IndexRemnant> Keys;
  std::set<std::pair<std::uint64_t, std::u16string>> Live;
  std::set<std::u16string> LiveNames;
};

FolderKeys ReadFolder(IndexReader& reader, const FileEntry& folder, const IndexKeyRules& rules, IndexRemnantStats& stats) {
  FolderKeys out;
  std::vector<std::uint8_t> record;
  if (!reader.ReadRecord(folder, record)) return out;
  const IndexReader::I30 i30 = IndexReader::FindI30(record);
  if (!i30.Root && !i30.Allocation) return out;
  ++stats.Folders;
  std::vector<std::pair<std::uint64_t, std::u16string>> live;
  const auto root = i30.Root ? i30.Root->ResidentValue() : std::nullopt;
  if (root && root->size() >= iroot::Node + node::Size) {
    const std::uint8_t* n = root->data() + iroot::Node;
    LiveEntries(*root, iroot::Node + GetU32(n + node::EntriesOffset), iroot::Node + std::size_t{GetU32(n + node::IndexLength)},
                live);
  }
  const std::uint64_t blockSize = reader.BlockSize(root);
  auto pairs = i30.Allocation ? i30.Allocation->MappingPairs() : std::nullopt;
  if (pairs && blockSize != 0) {
    std::vector<Extent> extents;
    DecodeMappingPairs(*pairs, std::max<std::int64_t>(i30.Allocation->LowestVcn(), 0), extents);
    // No index outgrows its volume, whatever its header claims.
    const std::uint64_t claimed = static_cast<std::uint64_t>(
        std::max<std::int64_t>(0, std::min(i30.Allocation->DataSize(), i30.Allocation->AllocatedSize())));
    const std::uint64_t blocks = std::min(claimed, reader.VolumeBytes()) / blockSize;
    std::vector<std::uint8_t> bitmap;
    if (i30.Bitmap)
      bitmap = AttributeValue(*i30.Bitmap, reader.ClusterSize(), static_cast<std::size_t>((blocks + 7) / 8), reader.Reader());
    std::vector<std::uint8_t> block(static_cast<std::size_t>(blockSize));
    for (std::uint64_t b = 0; b < blocks; ++b) {
      if (!reader.ReadValue(extents, b * blockSize, block.data(), block.size())) continue;
      // Without a bit to say so, a block counts as in use: only its slack is read.
      const bool inUse = !i30.Bitmap || b / 8 >= bitmap.size() || ((bitmap[b / 8] >> (b % 8)) & 1) != 0;
      IndexBlockScan scan = ScanIndexBlock(block, inUse, rules);
      if (!scan.Valid) continue;
      ++stats.Blocks;
      stats.FreeBlocks += !inUse;
      stats.TornBlocks += scan.FixupMismatch;
      live.insert(live.end(), std::make_move_iterator(scan.Live.begin()), std::make_move_iterator(scan.Live.end()));
      out.Keys.insert(out.Keys.end(), std::make_move_iterator(scan.Keys.begin()), std::make_move_iterator(scan.Keys.end()));
    }
  }
  for (auto& [ref, name] : live) {
    out.LiveNames.insert(name);
    out.Live.emplace(ref, std::move(name));
  }
  return out;
}

}  // namespace

std::vector<IndexRemnant> FindIndexRemnants(VolumeDevice& volume, const Catalogue& catalogue,
                                            std::optional<std::uint64_t> onlyFolder, IndexRemnantStats* statsOut) {
  IndexRemnantStats stats;
  std::vector<IndexRemnant> remnants;
  std::vector<std::uint8_t> sector(512);
  std::optional<NtfsBootSector> boot;
  if (volume.Seek(0) && volume.Read(sector.data(), sector.size()) == sector.size()) boot = ParseNtfsBootSector(sector);
  if (!boot) {
    if (statsOut) *statsOut = stats;
    return remnants;
  }
  IndexReader reader(volume, *boot, static_cast<std::int8_t>(sector[boot::ClustersPerIndex]));

  std::int64_t newest = 0;
  std::map<std::uint64_t, std::set<std::u16string>> listed;  // folder -> the names the catalogue gives its children
  for (std::size_t i = 0; i < catalogue.Count(); ++i) {
    const FileEntry& e = catalogue.At(i);
    if (!e.IsBaseRecord) continue;
    newest = std::max({newest, e.CreationTime, e.ModificationTime, e.AccessTime});
  }
  for (std::size_t i = 0; i < catalogue.Count(); ++i) {
    const FileEntry& e = catalogue.At(i);
    if (!e.IsBaseRecord || (onlyFolder && e.ParentRecord != *onlyFolder)) continue;
    const std::u16string_view wide = catalogue.VolumeName(e);
    std::u16string name(wide);
    if (wide.empty())
      for (char c : e.NameView()) name += static_cast<char16_t>(static_cast<unsigned char>(c));
    listed[e.ParentRecord].insert(std::move(name));
  }

  for (std::size_t i = 0; i < catalogue.Count(); ++i) {
    const FileEntry& folder = catalogue.At(i);
    if (!folder.IsBaseRecord || !folder.IsDirectory || (onlyFolder && i != *onlyFolder)) continue;
    const IndexKeyRules rules{i, reader.VolumeBytes(), newest, catalogue.Count()};
    FolderKeys keys = ReadFolder(reader, folder, rules, stats);
    const std::set<std::u16string>& names = listed[i];
    // Same name and same times: one file's key met twice.
    std::map<std::tuple<std::u16string, std::int64_t, std::int64_t, std::int64_t, std::int64_t>, std::size_t> seen;
    for (IndexRemnant& key : keys.Keys) {
      bool isListed;
      if (key.HasReference) {
        // A copy of an entry the index still holds, or the name of a record
        // the catalogue lists in this folder (freeing a record bumps its
        // sequence number by one).
        isListed = keys.Live.count({key.Record, key.Name}) != 0;
        if (!isListed && key.Record < catalogue.Count()) {
          const FileEntry& e = catalogue.At(static_cast<std::size_t>(key.Record));
          const bool sameRecord = e.IsDeleted ? (e.SequenceNumber == key.Sequence ||
                                                 e.SequenceNumber == static_cast<std::uint16_t>(key.Sequence + 1))
                                              : e.SequenceNumber == key.Sequence;
          isListed = e.IsBaseRecord && e.ParentRecord == i && sameRecord &&
                     (SameName(catalogue, e, key.Name) || key.Namespace == fn::NamespaceDos);
        }
      } else {
        isListed = names.count(key.Name) != 0 || keys.LiveNames.count(key.Name) != 0;
      }
      if (isListed) {
        ++stats.ListedKeys;
        continue;
      }
      auto [at, fresh] = seen.try_emplace({key.Name, key.CreationTime, key.ModificationTime, key.ChangeTime, key.AccessTime},
                                          remnants.size());
      if (fresh) {
        remnants.push_back(std::move(key));
      } else if (!remnants[at->second].HasReference && key.HasReference) {
        remnants[at->second].HasReference = true;
        remnants[at->second].Record = key.Record;
        remnants[at->second].Sequence = key.Sequence;
      }
    }
  }
  if (statsOut) *statsOut = stats;
  return remnants;
}

}  // namespace vant
