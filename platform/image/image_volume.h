// A disk image or block device standing for a volume device: opened
// read-only, a volume found at the start or inside an MBR/GPT partition
// table, answering the device requests from its own on-disk structures.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/volume_device.h"

namespace vant::image {

struct PartitionInfo {
  std::uint64_t Offset = 0;   // bytes from the image's start
  std::uint64_t Length = 0;
  std::string FileSystem;     // "NTFS", "FAT32", "FAT", "exFAT" or ""
};

// The volumes of an image: the partitions of its table, or the whole image
// when it is a bare volume.
std::vector<PartitionInfo> ListPartitions(const std::string& path, std::uint32_t& error);

// The file-system name of a boot sector, as the platform names it.
std::string FileSystemOfBootSector(const std::uint8_t* sector);

// `partition` -1: the first NTFS volume, else the first volume.
std::unique_ptr<VolumeDevice> OpenVolume(const std::string& path, int partition, std::uint32_t& error);
// The $MFT handle of the same volume: it answers the retrieval-pointers
// request only, and fails on volumes without a $MFT.
std::unique_ptr<VolumeDevice> OpenMft(const std::string& path, int partition, std::uint32_t& error);

std::string FileSystemName(const std::string& path, int partition);
std::int64_t VolumeSize(const std::string& path, int partition);

}  // namespace vant::image
