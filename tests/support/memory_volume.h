// An in-memory volume for recovery tests: clusters of bytes, an allocation
// bitmap answered the way the NTFS driver answers it, and stretches that
// fail to read like a damaged medium.
#pragma once

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "ntfs/layout.h"
#include "platform/system.h"
#include "platform/volume_device.h"

namespace vant::testing {

class MemoryVolume : public VolumeDevice {
 public:
  MemoryVolume(std::uint32_t bytesPerSector, std::uint32_t sectorsPerCluster, std::uint64_t clusters)
      : sector_(bytesPerSector), cluster_(std::uint64_t(bytesPerSector) * sectorsPerCluster),
        bytes_(clusters * cluster_), used_(clusters, false) {}

  std::uint64_t ClusterSize() const { return cluster_; }
  std::vector<std::uint8_t>& Bytes() { return bytes_; }
  void Fill(std::int64_t lcn, std::int64_t count, std::uint8_t seed) {
    for (std::uint64_t i = 0; i < count * cluster_; ++i) bytes_[lcn * cluster_ + i] = static_cast<std::uint8_t>(seed + i * 7 + i / 251);
  }
  void MarkUsed(std::int64_t lcn, std::int64_t count = 1) { std::fill_n(used_.begin() + lcn, count, true); }
  void FailReads(std::uint64_t from, std::uint64_t to) { bad_.emplace_back(from, to); }
  int BitmapRequests = 0;
  std::size_t LargestRead = 0;
  std::uint64_t FurthestAsked = 0;  // the end of the furthest read asked for

  bool Seek(std::uint64_t offset) override {
    pos_ = offset;
    return true;
  }
  std::uint64_t Position() const override { return pos_; }
  std::size_t Read(void* buffer, std::size_t count) override {
    LargestRead = std::max(LargestRead, count);
    FurthestAsked = std::max<std::uint64_t>(FurthestAsked, pos_ + count);
    std::size_t n = 0;
    while (n < count && pos_ < bytes_.size()) {
      for (auto [from, to] : bad_)
        if (pos_ >= from && pos_ < to) {
          error_ = error_code::Crc;
          return n;
        }
      static_cast<std::uint8_t*>(buffer)[n++] = bytes_[pos_++];
    }
    return n;
  }
  IoResult Control(std::uint32_t code, const void* in, std::size_t inSize, void* out, std::size_t outSize) override {
    auto* o = static_cast<std::uint8_t*>(out);
    if (code == ioctl::GetDriveGeometry) {
      std::memset(o, 0, ioctl::DiskGeometrySize);
      ntfs::PutU32(o + ioctl::DiskGeometryBytesPerSector, sector_);
      return {error_code::Success, ioctl::DiskGeometrySize};
    }
    if (code != ioctl::GetVolumeBitmap) return {error_code::NotSupported, 0};
    ++BitmapRequests;
    const std::int64_t asked = ntfs::GetI64(static_cast<const std::uint8_t*>(in));
    const std::int64_t total = static_cast<std::int64_t>(used_.size());
    if (asked >= total) return {error_code::InvalidParameter, 0};
    const std::int64_t start = asked / 8 * 8;
    const std::int64_t room = static_cast<std::int64_t>(outSize - ioctl::BitmapBytes) * 8;
    const std::int64_t n = std::min(total - start, room);
    ntfs::PutU64(o + ioctl::BitmapStartingLcn, start);
    ntfs::PutU64(o + ioctl::BitmapSize, total - start);
    std::memset(o + ioctl::BitmapBytes, 0, outSize - ioctl::BitmapBytes);
    for (std::int64_t i = 0; i < n; ++i)
      if (used_[start + i]) o[ioctl::BitmapBytes + i / 8] |= std::uint8_t(1u << (i % 8));
    const auto bytes = static_cast<std::uint32_t>(ioctl::BitmapBytes + (n + 7) / 8);
    return {start + n < total ? error_code::MoreData : error_code::Success, bytes};
  }
  std::uint32_t LastError() const override { return error_; }

 private:
  std::uint32_t sector_;
  std::uint64_t cluster_;
  std::vector<std::uint8_t> bytes_;
  std::vector<bool> used_;
  std::vector<std::pair<std::uint64_t, std::uint64_t>> bad_;
  std::uint64_t pos_ = 0;
  std::uint32_t error_ = 0;
};

// A destination that holds at most `capacity` bytes, like a full disk.
class MemoryOutput : public OutputFile {
 public:
  explicit MemoryOutput(std::size_t capacity = SIZE_MAX) : capacity_(capacity) {}
  std::vector<std::uint8_t> Data;
  bool Closed = false;
  std::size_t Write(const void* data, std::size_t count) override {
    const std::size_t n = std::min(count, capacity_ - Data.size());
    Data.insert(Data.end(), static_cast<const std::uint8_t*>(data), static_cast<const std::uint8_t*>(data) + n);
    if (n < count) error_ = error_code::DiskFull;
    return n;
  }
  bool Close() override { return Closed = true; }
  std::uint32_t LastError() const override { return error_; }

 private:
  std::size_t capacity_;
  std::uint32_t error_ = 0;
};

}  // namespace vant::testing
