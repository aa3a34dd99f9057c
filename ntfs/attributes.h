// Walking the attributes of one FILE record with every offset and length
// checked against the record's size.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

#include "ntfs/layout.h"

namespace vant::ntfs {

// One attribute inside a record: its offset and its checked length.
struct AttributeView {
  std::span<const std::uint8_t> Bytes;  // the whole attribute
  std::size_t Offset = 0;               // from the record's start
  std::uint32_t Type() const { return GetU32(Bytes.data() + attr::Type); }
  bool NonResident() const { return Bytes.size() > attr::NonResident && (Bytes[attr::NonResident] & 1); }
  std::uint8_t NameLength() const { return Bytes.size() > attr::NameLength ? Bytes[attr::NameLength] : 0; }
  // The resident value, when it lies inside the attribute.
  std::optional<std::span<const std::uint8_t>> ResidentValue() const;
  // The mapping pairs of a non-resident value, up to the attribute's end.
  std::optional<std::span<const std::uint8_t>> MappingPairs() const;
  // Non-resident header fields; 0 when the attribute is too short to hold them.
  std::int64_t AllocatedSize() const { return Field(attr::AllocatedSize); }
  std::int64_t DataSize() const { return Field(attr::DataSize); }
  std::int64_t InitializedSize() const { return Field(attr::InitializedSize); }
  std::int64_t LowestVcn() const { return Field(attr::LowestVcn); }

 private:
  std::int64_t Field(std::size_t at) const { return Bytes.size() >= at + 8 ? GetI64(Bytes.data() + at) : 0; }
};

// The attribute that starts at `offset`, or none when its header or its
// length does not fit the record, its length is 0, or it is the end marker.
std::optional<AttributeView> AttributeAt(std::span<const std::uint8_t> record, std::size_t offset);

// The first attribute of `type` in record order (unnamed ones first when
// `unnamedOnly`), walking from the header's first-attribute offset.
std::optional<AttributeView> FindAttribute(std::span<const std::uint8_t> record, std::uint32_t type, bool unnamedOnly = true);

// One entry of an $ATTRIBUTE_LIST value: where a piece of an attribute lives.
struct AttributeListEntry {
  std::uint32_t Type = 0;
  std::uint8_t NameLength = 0;
  std::int64_t StartingVcn = 0;
  std::uint64_t Record = 0;  // the record holding the piece (48-bit number)
};
// Entries of type u32 @0, length u16 @4, name length u8 @6, starting VCN
// i64 @8, record reference u64 @16; a bad length ends the list.
std::vector<AttributeListEntry> ParseAttributeList(std::span<const std::uint8_t> value);

// Reads `count` bytes at a byte offset of the volume; the count read.
using VolumeReader = std::function<std::size_t(std::uint64_t offset, std::uint8_t* out, std::size_t count)>;

// An attribute's value: resident, or read from its clusters (a sparse run
// reads as zeros), at most `maxBytes`; cut short where a read fails.
std::vector<std::uint8_t> AttributeValue(const AttributeView& attribute, std::uint64_t clusterSize, std::size_t maxBytes,
                                         const VolumeReader& read);

// The unnamed non-resident $DATA piece of a record that starts at `vcn`.
std::optional<AttributeView> FindDataPiece(std::span<const std::uint8_t> record, std::int64_t vcn);

// The boot sector of an NTFS volume, as far as the system uses it.
struct NtfsBootSector {
  std::uint32_t BytesPerSector = 0;
  std::uint32_t SectorsPerCluster = 0;
  std::uint64_t ClusterSize = 0;
  std::uint64_t TotalSectors = 0;
  std::int64_t MftLcn = 0;
  std::uint32_t RecordSize = 0;
};

// Parses an NTFS boot sector; none unless it carries the "NTFS    " id and
// sane geometry.
std::optional<NtfsBootSector> ParseNtfsBootSector(std::span<const std::uint8_t> sector);

}  // namespace vant::ntfs
