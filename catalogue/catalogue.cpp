#include "catalogue/catalogue.h"

#include <algorithm>
#include <cstring>

namespace vant {

FolderNodeData* FolderNodeData::Make(std::uint64_t recordNumber, std::string_view name, bool hasName) {
  auto* data = new FolderNodeData;
  data->RecordNumber = recordNumber;
  data->Children = std::make_unique<std::vector<void*>>();
  if (hasName) {
    data->Name = std::make_unique<char[]>(name.size() + 1);
    std::memcpy(data->Name.get(), name.data(), name.size());
    data->Name[name.size()] = 0;
  }
  return data;
}

Catalogue::Catalogue() = default;
Catalogue::~Catalogue() = default;

void Catalogue::Reserve(std::size_t count) { chunks_.reserve((count + ChunkSize - 1) / ChunkSize); }

FileEntry& Catalogue::Append() {
  if ((count_ & ChunkMask) == 0 && (count_ >> ChunkBits) == chunks_.size())
    chunks_.push_back(std::make_unique<FileEntry[]>(ChunkSize));
  FileEntry& entry = At(count_);
  entry = FileEntry{};
  entry.RecordNumber = static_cast<std::uint32_t>(count_);
  ++count_;
  return entry;
}

void Catalogue::SetName(FileEntry& entry, std::string_view name) {
  const std::size_t need = name.size() + 1;
  char* at;
  if (need > ArenaBlock / 4) {
    // A long name gets a block of its own, kept ahead of the block in use.
    arena_.insert(arena_.begin(), std::make_unique<char[]>(need));
    at = arena_.front().get();
    if (arena_.size() == 1) arenaUsed_ = ArenaBlock;
  } else {
    if (arenaUsed_ + need > ArenaBlock) {
      arena_.push_back(std::make_unique<char[]>(ArenaBlock));
      arenaUsed_ = 0;
    }
    at = arena_.back().get() + arenaUsed_;
    arenaUsed_ += need;
  }
  arenaBytes_ += need;
  std::memcpy(at, name.data(), name.size());
  at[name.size()] = 0;
  entry.Name = at;
}

void Catalogue::SetVolumeName(const FileEntry& entry, std::u16string_view name) {
  if (!keepVolumeNames_) return;
  const bool wide = std::any_of(name.begin(), name.end(), [](char16_t unit) { return unit > 0xFF; });
  if (!wide) {
    // A name set again (from an extension record) must not keep an older one.
    if (entry.RecordNumber < volumeNameAt_.size()) volumeNameAt_[entry.RecordNumber] = 0;
    return;
  }
  if (entry.RecordNumber >= volumeNameAt_.size()) volumeNameAt_.resize(std::size_t{entry.RecordNumber} + 1, 0);
  volumeNameAt_[entry.RecordNumber] = static_cast<std::uint32_t>(volumeNameUnits_.size() + 1);
  volumeNameUnits_.push_back(static_cast<char16_t>(name.size()));  // at most 255
  volumeNameUnits_.insert(volumeNameUnits_.end(), name.begin(), name.end());
}

std::u16string_view Catalogue::VolumeName(const FileEntry& entry) const {
  if (entry.RecordNumber >= volumeNameAt_.size() || volumeNameAt_[entry.RecordNumber] == 0) return {};
  const std::size_t at = volumeNameAt_[entry.RecordNumber] - 1;
  return std::u16string_view(volumeNameUnits_.data() + at + 1, volumeNameUnits_[at]);
}

bool IsRecycleBinName(std::string_view name) {
  constexpr std::string_view bin = "$recycle.bin";
  if (name.size() != bin.size()) return false;
  for (std::size_t i = 0; i < bin.size(); ++i)
    if ((name[i] >= 'A' && name[i] <= 'Z' ? char(name[i] | 0x20) : name[i]) != bin[i]) return false;
  return true;
}

std::u16string_view RecycledOrigin::Leaf() const {
  std::u16string_view path = Path;
  const std::size_t slash = path.find_last_of(u"\\/");
  return slash == std::u16string_view::npos ? path : path.substr(slash + 1);
}

std::string RecycledOrigin::Leaf8() const {
  std::string name;
  // As the volume's names become 8-bit ones: the low byte of each unit, up to a zero one.
  for (char16_t unit : Leaf()) {
    if ((unit & 0xFF) == 0) break;
    name += static_cast<char>(unit & 0xFF);
  }
  return name;
}

void Catalogue::SetOrigin(const FileEntry& entry, RecycledOrigin origin) {
  origins_[entry.RecordNumber] = std::move(origin);
}

const RecycledOrigin* Catalogue::OriginOf(const FileEntry& entry) const {
  if (origins_.empty()) return nullptr;
  const auto it = origins_.find(entry.RecordNumber);
  return it == origins_.end() ? nullptr : &it->second;
}

void Catalogue::Clear() {
  chunks_.clear();
  origins_.clear();
  volumeNameAt_.clear();
  volumeNameUnits_.clear();
  count_ = 0;
  arena_.clear();
  arenaUsed_ = ArenaBlock;
  arenaBytes_ = 0;
  ++generation_;
}

std::size_t Catalogue::MemoryBytes() const {
  return chunks_.size() * ChunkSize * sizeof(FileEntry) + arenaBytes_ + volumeNameAt_.size() * sizeof(std::uint32_t) +
         volumeNameUnits_.size() * sizeof(char16_t);
}

}  // namespace vant
