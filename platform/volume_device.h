// The raw volume device: the one door through which the reader and the
// recovery reach the disk. The operations mirror what the operating system's
// volume device and NTFS driver answer (seek, read, and four device
// requests), and the answers use the byte layouts the platform publishes, so
// the Windows implementation is a thin pass-through and the image one computes
// the same bytes from the on-disk structures.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace vant {

// Error codes, as the platform numbers them (they are shown to the user
// through the platform's own message text).
namespace error_code {
inline constexpr std::uint32_t Success = 0;
inline constexpr std::uint32_t FileNotFound = 2;
inline constexpr std::uint32_t AccessDenied = 5;
inline constexpr std::uint32_t InvalidHandle = 6;
inline constexpr std::uint32_t ReadFault = 30;
inline constexpr std::uint32_t HandleEof = 38;
inline constexpr std::uint32_t NotSupported = 50;
inline constexpr std::uint32_t InvalidParameter = 87;
inline constexpr std::uint32_t DiskFull = 112;
inline constexpr std::uint32_t InsufficientBuffer = 122;
inline constexpr std::uint32_t FilenameTooLong = 206;
inline constexpr std::uint32_t MoreData = 234;
inline constexpr std::uint32_t Crc = 23;
inline constexpr std::uint32_t UnrecognizedVolume = 1005;
}  // namespace error_code

// Device request codes and the sizes of their published answers.
namespace ioctl {
inline constexpr std::uint32_t GetDriveGeometry = 0x70000;      // IOCTL_DISK_GET_DRIVE_GEOMETRY
inline constexpr std::uint32_t GetNtfsVolumeData = 0x90064;     // FSCTL_GET_NTFS_VOLUME_DATA
inline constexpr std::uint32_t GetRetrievalPointers = 0x90073;  // FSCTL_GET_RETRIEVAL_POINTERS
inline constexpr std::uint32_t GetVolumeBitmap = 0x9006F;       // FSCTL_GET_VOLUME_BITMAP

inline constexpr std::size_t DiskGeometrySize = 24;
inline constexpr std::size_t NtfsVolumeDataSize = 96;
inline constexpr std::size_t RetrievalPointersSize = 32;  // room for exactly one extent
inline constexpr std::size_t VolumeBitmapSize = 4112;     // 16-byte header + 4096 bitmap bytes

// DISK_GEOMETRY: Cylinders i64 @0, MediaType u32 @8, TracksPerCylinder u32 @12,
// SectorsPerTrack u32 @16, BytesPerSector u32 @20.
inline constexpr std::size_t DiskGeometryBytesPerSector = 20;
// NTFS_VOLUME_DATA_BUFFER fields (all @ byte offsets).
inline constexpr std::size_t NtfsVolumeSerialNumber = 0;
inline constexpr std::size_t NtfsNumberSectors = 8;
inline constexpr std::size_t NtfsTotalClusters = 16;
inline constexpr std::size_t NtfsFreeClusters = 24;
inline constexpr std::size_t NtfsTotalReserved = 32;
inline constexpr std::size_t NtfsBytesPerSector = 40;
inline constexpr std::size_t NtfsBytesPerCluster = 44;
inline constexpr std::size_t NtfsBytesPerFileRecordSegment = 48;
inline constexpr std::size_t NtfsClustersPerFileRecordSegment = 52;
inline constexpr std::size_t NtfsMftValidDataLength = 56;
inline constexpr std::size_t NtfsMftStartLcn = 64;
inline constexpr std::size_t NtfsMft2StartLcn = 72;
inline constexpr std::size_t NtfsMftZoneStart = 80;
inline constexpr std::size_t NtfsMftZoneEnd = 88;
// RETRIEVAL_POINTERS_BUFFER: ExtentCount u32 @0, pad @4, StartingVcn i64 @8,
// then extents of { NextVcn i64, Lcn i64 } from @16.
inline constexpr std::size_t RetrievalExtentCount = 0;
inline constexpr std::size_t RetrievalStartingVcn = 8;
inline constexpr std::size_t RetrievalFirstNextVcn = 16;
inline constexpr std::size_t RetrievalFirstLcn = 24;
// VOLUME_BITMAP_BUFFER: StartingLcn i64 @0, BitmapSize i64 @8, bytes @16.
inline constexpr std::size_t BitmapStartingLcn = 0;
inline constexpr std::size_t BitmapSize = 8;
inline constexpr std::size_t BitmapBytes = 16;
}  // namespace ioctl

// The outcome of a device request: Ok, MoreData (the answer is filled and
// more follows) or a failure with the platform's error code.
struct IoResult {
  std::uint32_t Error = error_code::Success;
  std::uint32_t BytesReturned = 0;
  bool Ok() const { return Error == error_code::Success; }
  bool MoreData() const { return Error == error_code::MoreData; }
};

// One open handle on a volume (or on a volume's $MFT, which only answers the
// retrieval-pointers request). Read-only by construction: nothing here writes.
class VolumeDevice {
 public:
  virtual ~VolumeDevice() = default;

  // Absolute seek from the volume's start; false (with LastError) on failure.
  virtual bool Seek(std::uint64_t offset) = 0;
  // The current position (what a zero-distance seek answers).
  virtual std::uint64_t Position() const = 0;
  // Reads up to `count` bytes at the position, which advances by the count
  // read. A short count with LastError set means the medium failed.
  virtual std::size_t Read(void* buffer, std::size_t count) = 0;
  // DeviceIoControl-like request with a published output layout.
  virtual IoResult Control(std::uint32_t code, const void* in, std::size_t inSize, void* out,
                           std::size_t outSize) = 0;
  // The error code of the last failed operation.
  virtual std::uint32_t LastError() const = 0;
};

}  // namespace vant
