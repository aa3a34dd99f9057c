// The catalogue: one entry per MFT record slot of the analysed volume, live
// or deleted, valid or not, so that entry n is record n.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace vant {

// One MFT record as the views and the recovery need it. Kept to 64 bytes so
// that a million records fit in well under 100 MB: the 48-bit record offsets
// and parent references share their words with small fields.
struct FileEntry {
  // Zero-terminated 8-bit name in the catalogue's name arena (one byte per
  // UTF-16 unit, its low byte); null when the record was not decoded. It may
  // be overwritten in place by the same number of bytes.
  char* Name = nullptr;
  std::int64_t CreationTime = 0;      // FILETIME, UTC, as on disk
  std::int64_t ModificationTime = 0;
  std::int64_t AccessTime = 0;
  std::uint64_t FileSize = 0;         // bytes of the unnamed data stream
  std::uint64_t RecordOffset : 48 = 0;  // byte offset of the record on the volume
  std::uint64_t DataOffset : 16 = 0;    // resident value / mapping pairs, inside the record
  std::uint64_t ParentRecord : 48 = 0;  // parent directory's record number
  std::uint64_t IsDeleted : 1 = 0;
  std::uint64_t IsDirectory : 1 = 0;
  std::uint64_t IsResident : 1 = 0;
  std::uint64_t PendingPlacement : 1 = 0;
  std::uint64_t IsBaseRecord : 1 = 0;
  // The record's update-sequence check values did not match: the record was
  // torn or partly overwritten, yet it is decoded (deleted records are why
  // we are here).
  std::uint64_t FixupMismatch : 1 = 0;
  // Counted as deleted because it lies in a recycle bin while its record is
  // still in use: its clusters are its own, whole.
  std::uint64_t HeldInBin : 1 = 0;
  std::uint64_t Unused : 9 = 0;
  std::uint32_t RecordNumber = 0;     // always the entry's index
  std::uint32_t SequenceNumber = 0;   // the record header's: NTFS bumps it when a record is freed

  std::string_view NameView() const { return Name ? std::string_view(Name) : std::string_view(); }
};
static_assert(sizeof(FileEntry) == 64, "FileEntry is meant to stay compact");

inline constexpr std::uint64_t RootDirectoryRecord = 5;
inline constexpr std::uint64_t NoDirectoryRecord = ~std::uint64_t{0};

// Where an item of the recycle bin came from, as the bin's own records
// ($I files, INFO2) tell it.
struct RecycledOrigin {
  std::u16string Path;        // the original full path, e.g. C:\Users\Ana\Informe.docx
  std::uint64_t Size = 0;     // the original size
  std::int64_t DeletionTime = 0;  // FILETIME, UTC
  // The original name (the path's last part), and its low bytes for the form's 8-bit texts.
  std::u16string_view Leaf() const;
  std::string Leaf8() const;
};

// "$Recycle.Bin", in any case (Windows compares names without case): the
// bin of Vista and later, at a drive's root.
bool IsRecycleBinName(std::string_view name);

// The record hung on drive and folder nodes of the tree.
struct FolderNodeData {
  std::unique_ptr<char[]> Name;  // copy of the folder's name; null on drive, lost-items and placeholder nodes
  std::uint64_t RecordNumber = 0;
  // Its presence marks a node whose files can be listed; it is never filled.
  std::unique_ptr<std::vector<void*>> Children;

  static FolderNodeData* Make(std::uint64_t recordNumber, std::string_view name = {}, bool hasName = false);
  std::string_view NameView() const { return Name ? std::string_view(Name.get()) : std::string_view(); }
};

class Catalogue {
 public:
  Catalogue();
  ~Catalogue();
  Catalogue(const Catalogue&) = delete;
  Catalogue& operator=(const Catalogue&) = delete;

  std::size_t Count() const { return count_; }
  // Entry addresses stay put while the catalogue grows (rows point at them).
  FileEntry& At(std::size_t index) { return chunks_[index >> ChunkBits][index & ChunkMask]; }
  const FileEntry& At(std::size_t index) const { return chunks_[index >> ChunkBits][index & ChunkMask]; }
  // Appends a zeroed entry whose RecordNumber is its index.
  FileEntry& Append();
  // Gives `entry` a copy of `name` in the arena.
  void SetName(FileEntry& entry, std::string_view name);
  // The names as the volume holds them (UTF-16 units), for tools that show
  // them whole; the form's 8-bit names stay its only names. Kept only when
  // asked for, and the choice outlives Clear. Only names with a unit past
  // U+00FF are stored: the others are their 8-bit names widened.
  void KeepVolumeNames(bool keep) { keepVolumeNames_ = keep; }
  bool KeepsVolumeNames() const { return keepVolumeNames_; }
  void SetVolumeName(const FileEntry& entry, std::u16string_view name);
  // Empty when none was kept for the entry, or when its 8-bit name says it all.
  std::u16string_view VolumeName(const FileEntry& entry) const;
  void Reserve(std::size_t count);
  // The recycle bin's word on an entry: few entries have one, so they live
  // beside the entries rather than in them.
  void SetOrigin(const FileEntry& entry, RecycledOrigin origin);
  const RecycledOrigin* OriginOf(const FileEntry& entry) const;
  std::size_t OriginCount() const { return origins_.size(); }
  // Releases every entry and name.
  void Clear();
  // Bytes held by entries and names.
  std::size_t MemoryBytes() const;
  // Bumped on every Clear, so holders of entry pointers can tell they are stale.
  std::uint64_t Generation() const { return generation_; }

 private:
  static constexpr std::size_t ChunkBits = 12;
  static constexpr std::size_t ChunkSize = std::size_t{1} << ChunkBits;
  static constexpr std::size_t ChunkMask = ChunkSize - 1;
  static constexpr std::size_t ArenaBlock = 256 * 1024;

  std::vector<std::unique_ptr<FileEntry[]>> chunks_;
  std::size_t count_ = 0;
  std::vector<std::unique_ptr<char[]>> arena_;
  std::size_t arenaUsed_ = ArenaBlock;  // bytes used in the last block
  std::size_t arenaBytes_ = 0;
  std::uint64_t generation_ = 0;
  bool keepVolumeNames_ = false;
  // By record number: where the entry's name starts in volumeNameUnits_
  // (its length unit, then its units), plus one; 0 for none.
  std::vector<std::uint32_t> volumeNameAt_;
  std::vector<char16_t> volumeNameUnits_;
  std::unordered_map<std::uint32_t, RecycledOrigin> origins_;  // by record number
};

}  // namespace vant
