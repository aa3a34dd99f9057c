// The system's single open connection to the drive under analysis: the
// drive letter, a raw handle on the volume, one on its $MFT, and the cancel
// flag the progress panel sets.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/system.h"
#include "platform/volume_device.h"

namespace vant {

struct VolumeContext {
  char DriveLetter = 0;
  std::unique_ptr<VolumeDevice> VolumeHandle;
  std::unique_ptr<VolumeDevice> MftHandle;
  std::array<std::uint8_t, 512> FatBootSector{};
  bool CancelRequested = false;
  std::uint32_t LastError = 0;  // of the last failed open or read
};

// "\\.\X:" for drive index 0 = A.
std::string VolumePath(int driveIndex);
std::string MftPath(char letter);

// Closes both handles of the previous drive, if any.
void CloseVolume(VolumeContext& context);
// Opens the raw volume of drive `driveIndex` (0 = A) read-only; false when
// it cannot be opened (LastError tells why).
bool OpenVolume(VolumeContext& context, SystemServices& system, int driveIndex);
// Opens the $MFT of DriveLetter for queries; false on volumes without one.
bool OpenMft(VolumeContext& context, SystemServices& system);

// The FAT fallback: reads the boot sector, then the first root-directory
// cluster, and returns its bytes up to the first zero (the text of a plain
// message box). `fatKind` 2 uses the FAT32 formula.
std::string PeekFatRootDirectory(VolumeContext& context, std::uint8_t fatKind);

// One FSCTL_GET_NTFS_VOLUME_DATA into a 96-byte buffer.
bool QueryNtfsVolumeData(VolumeDevice& device, std::uint8_t (&buffer)[96]);

struct VolumeGeometry {
  std::uint32_t BytesPerSector = 0;
  std::uint32_t SectorsPerCluster = 0;  // from the boot sector byte (above 128: 2^(256-n))
  std::int64_t MftStartLcn = 0;
  std::uint32_t BytesPerFileRecordSegment = 0;
  std::int64_t MftValidDataLength = 0;
  std::int32_t RecordCount = 0;
  std::uint64_t TotalClusters = 0;  // from the volume data: the volume's end for every read
  bool HaveVolumeData = false;
  std::uint64_t ClusterSize() const { return std::uint64_t(BytesPerSector) * SectorsPerCluster; }
};

// Bytes per sector from the disk-geometry request; none when it fails.
std::optional<std::uint32_t> QueryBytesPerSector(VolumeDevice& device);
// Takes the record size and count from the volume-data answer.
bool ReadVolumeData(VolumeDevice& device, VolumeGeometry& geometry);
// Reads the boot sector (one sector at offset 0) into the geometry; false on
// a short read.
bool ReadBootSector(VolumeDevice& device, VolumeGeometry& geometry);
// All of the above in order; false when a step the scan needs failed.
bool ReadVolumeGeometry(VolumeDevice& device, VolumeGeometry& geometry);

struct MftExtentAnswer {
  IoResult Result;
  std::uint32_t ExtentCount = 0;
  std::int64_t StartingVcn = 0;
  std::int64_t NextVcn = 0;
  std::int64_t Lcn = 0;
  // An answer with an extent that the enumeration may walk.
  bool Usable() const { return (Result.Ok() || Result.MoreData()) && ExtentCount >= 1; }
};

// One retrieval-pointers request on the $MFT handle.
MftExtentAnswer QueryMftExtent(VolumeDevice& mft, std::int64_t startingVcn);

struct MftExtent {
  std::int64_t Lcn = 0;
  std::int64_t ClusterCount = 0;
};

// Walks the $MFT's extents in file order, one request per extent, as the
// driver answers them: the next request starts at the last extent's NextVcn.
// Ends at the last extent or at any failure other than "more data".
class MftExtentEnumerator {
 public:
  explicit MftExtentEnumerator(VolumeDevice& mft) : mft_(mft) {}
  std::optional<MftExtent> Next();
  std::int64_t NextRequestVcn() const { return startingVcn_; }

 private:
  VolumeDevice& mft_;
  std::int64_t startingVcn_ = 0;
  bool done_ = false;
};

}  // namespace vant
