#include "ntfs/attributes.h"

#include <cstring>

namespace vant::ntfs {

std::optional<std::span<const std::uint8_t>> AttributeView::ResidentValue() const {
  if (NonResident() || Bytes.size() < attr::ResidentHeader) return std::nullopt;
  const std::size_t length = GetU32(Bytes.data() + attr::ValueLength);
  const std::size_t offset = GetU16(Bytes.data() + attr::ValueOffset);
  if (offset > Bytes.size() || length > Bytes.size() - offset) return std::nullopt;
  return Bytes.subspan(offset, length);
}

std::optional<std::span<const std::uint8_t>> AttributeView::MappingPairs() const {
  if (!NonResident() || Bytes.size() < attr::NonResidentHeader) return std::nullopt;
  const std::size_t offset = GetU16(Bytes.data() + attr::MappingPairsOffset);
  if (offset >= Bytes.size()) return std::nullopt;
  return Bytes.subspan(offset);
}

std::optional<AttributeView> AttributeAt(std::span<const std::uint8_t> record, std::size_t offset) {
  if (offset > record.size() || record.size() - offset < 8) return std::nullopt;
  const std::uint8_t* p = record.data() + offset;
  if (GetU32(p + attr::Type) == attr::End) return std::nullopt;
  const std::size_t length = GetU32(p + attr::Length);
  if (length < 16 || length > record.size() - offset) return std::nullopt;
  return AttributeView{record.subspan(offset, length), offset};
}

std::optional<AttributeView> FindAttribute(std::span<const std::uint8_t> record, std::uint32_t type, bool unnamedOnly) {
  if (record.size() < rec::HeaderMin) return std::nullopt;
  std::size_t offset = GetU16(record.data() + rec::FirstAttribute);
  while (auto a = AttributeAt(record, offset)) {
    if (a->Type() == type && (!unnamedOnly || a->NameLength() == 0)) return a;
    offset += a->Bytes.size();
  }
  return std::nullopt;
}

std::optional<NtfsBootSector> ParseNtfsBootSector(std::span<const std::uint8_t> sector) {
  if (sector.size() < 512 || std::memcmp(sector.data() + boot::OemId, "NTFS    ", 8) != 0) return std::nullopt;
  NtfsBootSector b;
  b.BytesPerSector = GetU16(sector.data() + boot::BytesPerSector);
  b.SectorsPerCluster = SectorsPerClusterFromByte(sector[boot::SectorsPerCluster]);
  if (b.BytesPerSector < 256 || b.BytesPerSector > 4096 || (b.BytesPerSector & (b.BytesPerSector - 1)) != 0) return std::nullopt;
  if (b.SectorsPerCluster == 0 || (b.SectorsPerCluster & (b.SectorsPerCluster - 1)) != 0) return std::nullopt;
  b.ClusterSize = std::uint64_t(b.BytesPerSector) * b.SectorsPerCluster;
  b.TotalSectors = GetU64(sector.data() + boot::TotalSectors);
  b.MftLcn = GetI64(sector.data() + boot::MftLcn);
  const auto perRecord = static_cast<std::int8_t>(sector[boot::ClustersPerRecord]);
  if (perRecord > 0) b.RecordSize = static_cast<std::uint32_t>(perRecord * b.ClusterSize);
  else if (perRecord < 0 && perRecord >= -31) b.RecordSize = std::uint32_t{1} << -perRecord;
  if (b.RecordSize < 512 || b.RecordSize > 65536 || b.MftLcn < 0) return std::nullopt;
  return b;
}

}  // namespace vant::ntfs
