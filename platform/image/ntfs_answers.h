// The answers of the volume device requests (drive geometry, NTFS volume
// data, $MFT retrieval pointers, volume bitmap), computed from the on-disk
// structures. Disk images need them; so does a Windows volume whose driver
// will not answer (as under Wine, whose devices are plain files).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "ntfs/attributes.h"
#include "ntfs/mapping_pairs.h"
#include "platform/volume_device.h"

namespace vant::image {

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Reads up to `count` bytes at `offset` of the volume; the count read.
  virtual std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t count) = 0;
  virtual std::uint64_t Size() const = 0;
};

class NtfsAnswers {
 public:
  explicit NtfsAnswers(ByteSource& source) : source_(source) {}
  IoResult Answer(std::uint32_t code, const void* in, std::size_t inSize, void* out, std::size_t outSize);

  bool IsNtfs();
  const std::vector<ntfs::Extent>& MftExtents() { Load(); return mft_; }

 private:
  bool Load();
  IoResult Geometry(std::uint8_t* out, std::size_t size);
  IoResult VolumeData(std::uint8_t* out, std::size_t size);
  IoResult Retrieval(const std::uint8_t* in, std::size_t inSize, std::uint8_t* out, std::size_t size);
  IoResult Bitmap(const std::uint8_t* in, std::size_t inSize, std::uint8_t* out, std::size_t size);
  std::optional<std::vector<std::uint8_t>> ReadRecord(std::uint64_t number);
  // The pieces of a base record's unnamed $DATA that its attribute list
  // places in extension records.
  void AddExtensionExtents(std::span<const std::uint8_t> base, std::uint64_t baseNumber, std::vector<ntfs::Extent>& extents);
  std::size_t ReadData(const std::vector<ntfs::Extent>& extents, std::uint64_t offset, std::uint8_t* out, std::size_t count);
  // Keeps the extents in VCN order up to the first hole, gap or cluster the
  // medium does not hold; the bytes they cover.
  std::uint64_t KeepHeld(std::vector<ntfs::Extent>& extents) const;

  ByteSource& source_;
  bool loaded_ = false;
  bool ntfs_ = false;
  ntfs::NtfsBootSector boot_;
  // Clusters the volume really has: the boot sector's count, but never
  // more than the image or device holds.
  std::uint64_t heldClusters_ = 0;
  std::vector<ntfs::Extent> mft_;
  std::int64_t mftInitialized_ = 0;
  std::vector<ntfs::Extent> bitmap_;
  std::int64_t bitmapSize_ = 0;
  std::optional<std::int64_t> freeClusters_;
};

}  // namespace vant::image
