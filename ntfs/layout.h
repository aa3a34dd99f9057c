// NTFS on-disk layouts: every field the system reads, once, with its offset.
// Fields are read through the little-endian helpers below, never through
// casts of packed structs onto unaligned buffers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

namespace vant::ntfs {

inline std::uint16_t GetU16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
inline std::uint32_t GetU32(const std::uint8_t* p) {
  return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) | (std::uint32_t(p[3]) << 24);
}
inline std::uint64_t GetU64(const std::uint8_t* p) { return GetU32(p) | (std::uint64_t(GetU32(p + 4)) << 32); }
inline std::int64_t GetI64(const std::uint8_t* p) { return static_cast<std::int64_t>(GetU64(p)); }
inline void PutU16(std::uint8_t* p, std::uint16_t v) { p[0] = std::uint8_t(v); p[1] = std::uint8_t(v >> 8); }
inline void PutU32(std::uint8_t* p, std::uint32_t v) { for (int i = 0; i < 4; ++i) p[i] = std::uint8_t(v >> (8 * i)); }
inline void PutU64(std::uint8_t* p, std::uint64_t v) { for (int i = 0; i < 8; ++i) p[i] = std::uint8_t(v >> (8 * i)); }

// Boot sector.
namespace boot {
inline constexpr std::size_t BytesPerSector = 11;     // u16
inline constexpr std::size_t SectorsPerCluster = 13;  // u8; above 128 means 2^(256-n)
inline constexpr std::size_t ReservedSectors = 14;    // u16 (FAT)
inline constexpr std::size_t NumberOfFats = 16;       // u8 (FAT)
inline constexpr std::size_t SectorsPerFat16 = 22;    // u16 (FAT12/16)
inline constexpr std::size_t HiddenSectors = 28;      // u32
inline constexpr std::size_t SectorsPerFat32 = 36;    // u32 (FAT32)
inline constexpr std::size_t OemId = 3;               // 8 bytes, "NTFS    "
inline constexpr std::size_t TotalSectors = 40;       // i64 (NTFS)
inline constexpr std::size_t MftLcn = 48;             // i64 (NTFS)
inline constexpr std::size_t MftMirrLcn = 56;         // i64 (NTFS)
inline constexpr std::size_t ClustersPerRecord = 64;  // i8: >0 clusters, <0 2^-n bytes
inline constexpr std::size_t ClustersPerIndex = 68;   // i8
inline constexpr std::size_t SerialNumber = 72;       // u64
inline constexpr std::size_t Signature = 510;         // 0x55 0xAA
}  // namespace boot

// The sectors-per-cluster byte: values above 128 stand for 2^(256-n).
inline std::uint32_t SectorsPerClusterFromByte(std::uint8_t b) {
  if (b <= 128) return b;
  // Past 2^16 sectors no volume exists (and a wider shift would overflow): 0 marks it unusable.
  return 256 - b <= 16 ? std::uint32_t{1} << (256 - b) : 0;
}

// FILE record header.
namespace rec {
inline constexpr std::size_t UsaOffset = 4;         // u16
inline constexpr std::size_t UsaCount = 6;          // u16 (1 + record size / 512)
inline constexpr std::size_t Lsn = 8;               // u64
inline constexpr std::size_t SequenceNumber = 16;   // u16
inline constexpr std::size_t LinkCount = 18;        // u16
inline constexpr std::size_t FirstAttribute = 20;   // u16
inline constexpr std::size_t Flags = 22;            // u16: 1 in use, 2 directory
inline constexpr std::size_t BytesInUse = 24;       // u32
inline constexpr std::size_t BytesAllocated = 28;   // u32
inline constexpr std::size_t BaseRecord = 32;       // u64 file reference
inline constexpr std::size_t NextAttributeId = 40;  // u16
inline constexpr std::size_t HeaderMin = 42;
inline constexpr std::uint16_t FlagInUse = 0x0001;
inline constexpr std::uint16_t FlagDirectory = 0x0002;
inline constexpr std::size_t FixupStride = 512;     // whatever the sector size
}  // namespace rec

// Attribute header.
namespace attr {
inline constexpr std::size_t Type = 0;          // u32
inline constexpr std::size_t Length = 4;        // u32
inline constexpr std::size_t NonResident = 8;   // u8, bit 0
inline constexpr std::size_t NameLength = 9;    // u8
inline constexpr std::size_t NameOffset = 10;   // u16
inline constexpr std::size_t AttributeFlags = 12;  // u16
inline constexpr std::uint16_t FlagCompressed = 0x00FF;  // any compression method
inline constexpr std::uint16_t FlagEncrypted = 0x4000;
// resident form
inline constexpr std::size_t ValueLength = 16;  // u32
inline constexpr std::size_t ValueOffset = 20;  // u16
inline constexpr std::size_t ResidentHeader = 24;
// non-resident form
inline constexpr std::size_t LowestVcn = 16;         // i64
inline constexpr std::size_t HighestVcn = 24;        // i64
inline constexpr std::size_t MappingPairsOffset = 32;  // u16
inline constexpr std::size_t CompressionUnit = 34;   // u16
inline constexpr std::size_t AllocatedSize = 40;     // i64
inline constexpr std::size_t DataSize = 48;          // i64
inline constexpr std::size_t InitializedSize = 56;   // i64
inline constexpr std::size_t NonResidentHeader = 64;

inline constexpr std::uint32_t StandardInformation = 0x10;
inline constexpr std::uint32_t AttributeList = 0x20;
inline constexpr std::uint32_t FileName = 0x30;
inline constexpr std::uint32_t ObjectId = 0x40;
inline constexpr std::uint32_t SecurityDescriptor = 0x50;
inline constexpr std::uint32_t VolumeName = 0x60;
inline constexpr std::uint32_t VolumeInformation = 0x70;
inline constexpr std::uint32_t Data = 0x80;
inline constexpr std::uint32_t IndexRoot = 0x90;
inline constexpr std::uint32_t IndexAllocation = 0xA0;
inline constexpr std::uint32_t Bitmap = 0xB0;
inline constexpr std::uint32_t ReparsePoint = 0xC0;
inline constexpr std::uint32_t EaInformation = 0xD0;
inline constexpr std::uint32_t Ea = 0xE0;
inline constexpr std::uint32_t End = 0xFFFFFFFF;
}  // namespace attr

// $STANDARD_INFORMATION value.
namespace si {
inline constexpr std::size_t CreationTime = 0;
inline constexpr std::size_t ModificationTime = 8;
inline constexpr std::size_t ChangeTime = 16;
inline constexpr std::size_t AccessTime = 24;
inline constexpr std::size_t MinSize = 32;
}  // namespace si

// $FILE_NAME value.
namespace fn {
inline constexpr std::size_t ParentReference = 0;  // u64: low 48 bits record, high 16 sequence
inline constexpr std::size_t CreationTime = 8;     // FILETIME
inline constexpr std::size_t ModificationTime = 16;
inline constexpr std::size_t ChangeTime = 24;      // of the MFT record
inline constexpr std::size_t AccessTime = 32;
inline constexpr std::size_t AllocatedSize = 40;
inline constexpr std::size_t RealSize = 48;
inline constexpr std::size_t FileFlags = 56;       // u32; 0x10000000: a folder (it has an $I30 index)
inline constexpr std::uint32_t FlagFolder = 0x10000000;
inline constexpr std::size_t NameLength = 64;      // u8, UTF-16 units
inline constexpr std::size_t Namespace = 65;       // u8: 0 POSIX, 1 Win32, 2 DOS, 3 both
inline constexpr std::size_t Name = 66;
inline constexpr std::uint8_t NamespaceDos = 2;
}  // namespace fn

// $INDEX_ROOT value: the index's header, then a node header as in INDX blocks.
namespace iroot {
inline constexpr std::size_t IndexedType = 0;      // u32: 0x30 for a folder's $I30
inline constexpr std::size_t BlockSize = 8;        // u32: bytes per index block
inline constexpr std::size_t ClustersPerBlock = 12;  // u8
inline constexpr std::size_t Node = 16;            // node header
}  // namespace iroot

// INDX block (an index allocation's node), fixed up like a FILE record.
namespace indx {
inline constexpr std::size_t Vcn = 16;             // i64: this block's VCN
inline constexpr std::size_t Node = 24;            // node header
inline constexpr std::size_t HeaderMin = 40;       // the update-sequence array follows
}  // namespace indx

// Node header, at `Node` of the above; its offsets count from the header itself.
namespace node {
inline constexpr std::size_t EntriesOffset = 0;    // u32
inline constexpr std::size_t IndexLength = 4;      // u32: bytes in use, entries' end
inline constexpr std::size_t AllocatedLength = 8;  // u32
inline constexpr std::size_t Flags = 12;           // u8: 1 the node has children
inline constexpr std::size_t Size = 16;
}  // namespace node

// Index entry: a file reference and a key ($FILE_NAME value for $I30).
namespace ientry {
inline constexpr std::size_t FileReference = 0;    // u64
inline constexpr std::size_t Length = 8;           // u16, a multiple of 8
inline constexpr std::size_t KeyLength = 10;       // u16
inline constexpr std::size_t Flags = 12;           // u16: 1 a child node's VCN ends the entry, 2 the last entry
inline constexpr std::size_t Key = 16;
inline constexpr std::uint16_t FlagChild = 1;
inline constexpr std::uint16_t FlagLast = 2;
}  // namespace ientry

inline constexpr std::uint64_t RecordNumberMask = 0x0000FFFFFFFFFFFFull;

}  // namespace vant::ntfs
