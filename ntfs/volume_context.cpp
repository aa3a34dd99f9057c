#include "ntfs/volume_context.h"

#include <algorithm>
#include <climits>
#include <vector>

#include "ntfs/layout.h"

namespace vant {

using ntfs::GetI64;
using ntfs::GetU16;
using ntfs::GetU32;

std::string VolumePath(int driveIndex) {
  std::string path = "\\\\.\\A:";
  path[4] = static_cast<char>('A' + driveIndex);
  return path;
}

std::string MftPath(char letter) {
  std::string path = "\\\\.\\A:\\$MFT";
  path[4] = letter;
  return path;
}

void CloseVolume(VolumeContext& context) {
  context.MftHandle.reset();
  context.VolumeHandle.reset();
}

bool OpenVolume(VolumeContext& context, SystemServices& system, int driveIndex) {
  std::uint32_t error = 0;
  context.VolumeHandle = system.OpenVolume(static_cast<char>('A' + driveIndex), error);
  if (!context.VolumeHandle) context.LastError = error;
  return context.VolumeHandle != nullptr;
}

bool OpenMft(VolumeContext& context, SystemServices& system) {
  std::uint32_t error = 0;
  context.MftHandle = system.OpenMft(context.DriveLetter, error);
  if (!context.MftHandle) context.LastError = error;
  return context.MftHandle != nullptr;
}

std::string PeekFatRootDirectory(VolumeContext& context, std::uint8_t fatKind) {
  VolumeDevice* volume = context.VolumeHandle.get();
  if (!volume) return {};
  context.FatBootSector.fill(0);
  volume->Seek(0);
  volume->Read(context.FatBootSector.data(), context.FatBootSector.size());
  const std::uint8_t* b = context.FatBootSector.data();
  namespace boot = ntfs::boot;
  const std::uint32_t bytesPerSector = GetU16(b + boot::BytesPerSector);
  const std::uint32_t sectorsPerCluster = b[boot::SectorsPerCluster];
  const std::uint32_t reserved = GetU16(b + boot::ReservedSectors);
  const std::uint32_t fats = b[boot::NumberOfFats];
  // 32-bit arithmetic, as the FAT layout itself is.
  std::uint32_t offset;
  if (fatKind == 2)
    offset = (fats * GetU32(b + boot::SectorsPerFat32) + reserved + GetU32(b + boot::HiddenSectors)) * bytesPerSector;
  else
    offset = (fats * GetU16(b + boot::SectorsPerFat16) + reserved) * bytesPerSector;
  std::vector<char> cluster(std::size_t(bytesPerSector) * sectorsPerCluster, 0);
  volume->Seek(offset);
  if (!cluster.empty()) volume->Read(cluster.data(), cluster.size());
  std::size_t end = 0;
  while (end < cluster.size() && cluster[end] != 0) ++end;
  return std::string(cluster.data(), end);
}

bool QueryNtfsVolumeData(VolumeDevice& device, std::uint8_t (&buffer)[96]) {
  return device.Control(ioctl::GetNtfsVolumeData, nullptr, 0, buffer, sizeof buffer).Ok();
}

std::optional<std::uint32_t> QueryBytesPerSector(VolumeDevice& device) {
  std::uint8_t geometry[ioctl::DiskGeometrySize] = {};
  if (!device.Control(ioctl::GetDriveGeometry, nullptr, 0, geometry, sizeof geometry).Ok()) return std::nullopt;
  const std::uint32_t bps = GetU32(geometry + ioctl::DiskGeometryBytesPerSector);
  if (bps < 256 || bps > 65536 || (bps & (bps - 1)) != 0) return std::nullopt;
  return bps;
}

bool ReadVolumeData(VolumeDevice& device, VolumeGeometry& geometry) {
  std::uint8_t data[ioctl::NtfsVolumeDataSize] = {};
  if (!QueryNtfsVolumeData(device, data)) return false;
  geometry.BytesPerFileRecordSegment = GetU32(data + ioctl::NtfsBytesPerFileRecordSegment);
  geometry.MftValidDataLength = GetI64(data + ioctl::NtfsMftValidDataLength);
  geometry.TotalClusters = ntfs::GetU64(data + ioctl::NtfsTotalClusters);
  if (geometry.BytesPerFileRecordSegment == 0) return false;
  // The count is a claim of the volume: a negative or oversized one is
  // clamped, and the scan reads no further than the $MFT's extents anyway.
  const std::int64_t records = std::max<std::int64_t>(geometry.MftValidDataLength, 0) /
                               static_cast<std::int64_t>(geometry.BytesPerFileRecordSegment);
  geometry.RecordCount = static_cast<std::int32_t>(std::min<std::int64_t>(records, INT32_MAX));
  geometry.HaveVolumeData = true;
  return true;
}

bool ReadBootSector(VolumeDevice& device, VolumeGeometry& geometry) {
  std::vector<std::uint8_t> sector(geometry.BytesPerSector);
  device.Seek(0);
  if (device.Read(sector.data(), sector.size()) < sector.size() || sector.size() < 512) return false;
  geometry.SectorsPerCluster = ntfs::SectorsPerClusterFromByte(sector[ntfs::boot::SectorsPerCluster]);
  geometry.MftStartLcn = GetI64(sector.data() + ntfs::boot::MftLcn);
  return true;
}

bool ReadVolumeGeometry(VolumeDevice& device, VolumeGeometry& geometry) {
  const auto bps = QueryBytesPerSector(device);
  if (!bps) return false;
  geometry.BytesPerSector = *bps;
  device.Seek(0);
  ReadVolumeData(device, geometry);
  if (!ReadBootSector(device, geometry)) return false;
  device.Seek(std::uint64_t(geometry.MftStartLcn) * geometry.ClusterSize());
  return true;
}

MftExtentAnswer QueryMftExtent(VolumeDevice& mft, std::int64_t startingVcn) {
  std::uint8_t in[8];
  ntfs::PutU64(in, static_cast<std::uint64_t>(startingVcn));
  std::uint8_t out[ioctl::RetrievalPointersSize] = {};
  MftExtentAnswer answer;
  answer.Result = mft.Control(ioctl::GetRetrievalPointers, in, sizeof in, out, sizeof out);
  answer.ExtentCount = GetU32(out + ioctl::RetrievalExtentCount);
  answer.StartingVcn = GetI64(out + ioctl::RetrievalStartingVcn);
  answer.NextVcn = GetI64(out + ioctl::RetrievalFirstNextVcn);
  answer.Lcn = GetI64(out + ioctl::RetrievalFirstLcn);
  return answer;
}

std::optional<MftExtent> MftExtentEnumerator::Next() {
  if (done_) return std::nullopt;
  const MftExtentAnswer answer = QueryMftExtent(mft_, startingVcn_);
  // A failure other than "more data" leaves an old answer in the buffer:
  // the walk ends there rather than walking it again.
  if (!answer.Usable() || answer.NextVcn <= answer.StartingVcn) {
    done_ = true;
    return std::nullopt;
  }
  MftExtent extent{answer.Lcn, answer.NextVcn - answer.StartingVcn};
  startingVcn_ = answer.NextVcn;
  if (answer.Result.Ok()) done_ = true;  // the last extent
  return extent;
}

}  // namespace vant
