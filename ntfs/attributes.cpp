#include "ntfs/attributes.h"

#include <algorithm>
#include <cstring>

#include "ntfs/mapping_pairs.h"

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

std::vector<AttributeListEntry> ParseAttributeList(std::span<const std::uint8_t> value) {
  std::vector<AttributeListEntry> entries;
  for (std::size_t at = 0; at + 26 <= value.size();) {
    const std::size_t length = GetU16(&value[at + 4]);
    if (length < 26 || length > value.size() - at) break;
    entries.push_back({GetU32(&value[at]), value[at + 6], GetI64(&value[at + 8]), GetU64(&value[at + 16]) & RecordNumberMask});
    at += length;
  }
  return entries;
}

std::vector<std::uint8_t> AttributeValue(const AttributeView& attribute, std::uint64_t clusterSize, std::size_t maxBytes,
                                         const VolumeReader& read) {
  std::vector<std::uint8_t> value;
  if (!attribute.NonResident()) {
    if (auto v = attribute.ResidentValue()) value.assign(v->begin(), v->begin() + std::min(v->size(), maxBytes));
    return value;
  }
  auto pairs = attribute.MappingPairs();
  std::vector<Extent> extents;
  if (!pairs || clusterSize == 0) return value;
  DecodeMappingPairs(*pairs, 0, extents);
  const auto size = static_cast<std::size_t>(std::clamp<std::int64_t>(attribute.DataSize(), 0, std::int64_t(maxBytes)));
  for (const Extent& e : extents) {
    if (value.size() >= size) break;
    const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(size - value.size(), std::uint64_t(e.Length) * clusterSize));
    const std::size_t at = value.size();
    value.resize(at + want, 0);
    if (!e.Sparse() && read(std::uint64_t(e.Lcn) * clusterSize, value.data() + at, want) != want) {
      value.resize(at);
      break;
    }
  }
  return value;
}

std::optional<AttributeView> FindDataPiece(std::span<const std::uint8_t> record, std::int64_t vcn) {
  if (record.size() < rec::HeaderMin) return std::nullopt;
  for (std::size_t offset = GetU16(record.data() + rec::FirstAttribute);;) {
    auto a = AttributeAt(record, offset);
    if (!a) return std::nullopt;
    offset += a->Bytes.size();
    if (a->Type() == attr::Data && a->NameLength() == 0 && a->NonResident() && a->LowestVcn() == vcn) return a;
  }
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
