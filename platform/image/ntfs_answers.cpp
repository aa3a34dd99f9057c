#include "platform/image/ntfs_answers.h"

#include <algorithm>
#include <cstring>

#include "ntfs/fixups.h"
#include "ntfs/layout.h"

namespace vant::image {

using namespace ntfs;

bool NtfsAnswers::IsNtfs() { return Load(); }

bool NtfsAnswers::Load() {
  if (loaded_) return ntfs_;
  loaded_ = true;
  std::uint8_t sector[512];
  if (source_.ReadAt(0, sector, sizeof sector) != sizeof sector) return false;
  auto boot = ParseNtfsBootSector(sector);
  if (!boot) return false;
  boot_ = *boot;
  // A size field is only a claim: every loop it drives (the bitmap count,
  // the records, the bitmap answers) stops where the medium ends.
  heldClusters_ = std::min<std::uint64_t>(boot_.TotalSectors / boot_.SectorsPerCluster, source_.Size() / boot_.ClusterSize);
  if (std::uint64_t(boot_.MftLcn) >= heldClusters_) return false;
  // Record 0 describes the $MFT itself; read it where the boot sector says.
  std::vector<std::uint8_t> record(boot_.RecordSize);
  if (source_.ReadAt(std::uint64_t(boot_.MftLcn) * boot_.ClusterSize, record.data(), record.size()) != record.size())
    return false;
  if (std::memcmp(record.data(), "FILE", 4) != 0 || ApplyFixups(record) == FixupResult::Invalid) return false;
  auto data = FindAttribute(record, attr::Data);
  if (!data || !data->NonResident()) return false;
  auto pairs = data->MappingPairs();
  if (!pairs) return false;
  DecodeMappingPairs(*pairs, data->LowestVcn(), mft_);
  KeepHeld(mft_);
  if (mft_.empty()) return false;
  // A $MFT too fragmented for record 0 goes on in extension records; they are
  // found through the extents known so far, which grow as they are read.
  AddExtensionExtents(record, 0, mft_);
  const std::uint64_t mftBytes = KeepHeld(mft_);
  if (mft_.empty()) return false;
  mftInitialized_ = static_cast<std::int64_t>(
      std::min<std::uint64_t>(static_cast<std::uint64_t>(std::max<std::int64_t>(data->InitializedSize(), 0)), mftBytes));
  ntfs_ = true;
  // $Bitmap (record 6): one bit per cluster.
  if (auto bitmapRecord = ReadRecord(6)) {
    if (auto b = FindAttribute(*bitmapRecord, attr::Data); b && b->NonResident()) {
      if (auto p = b->MappingPairs()) DecodeMappingPairs(*p, b->LowestVcn(), bitmap_);
      KeepHeld(bitmap_);
      AddExtensionExtents(*bitmapRecord, 6, bitmap_);
      const std::uint64_t bitmapBytes = KeepHeld(bitmap_);
      bitmapSize_ = static_cast<std::int64_t>(
          std::min<std::uint64_t>(static_cast<std::uint64_t>(std::max<std::int64_t>(b->DataSize(), 0)), bitmapBytes));
    }
  }
  return true;
}

std::uint64_t NtfsAnswers::KeepHeld(std::vector<Extent>& extents) const {
  std::sort(extents.begin(), extents.end(), [](const Extent& a, const Extent& b) { return a.Vcn < b.Vcn; });
  std::int64_t next = extents.empty() ? 0 : extents.front().Vcn;
  std::uint64_t clusters = 0;
  std::size_t kept = 0;
  for (Extent& e : extents) {
    // Neither the $MFT nor the $Bitmap has holes; a gap or an overlap is damage.
    if (e.Sparse() || e.Vcn != next || e.Length <= 0 || std::uint64_t(e.Lcn) >= heldClusters_) break;
    const std::uint64_t room = heldClusters_ - std::uint64_t(e.Lcn);
    const bool cut = std::uint64_t(e.Length) > room;
    if (cut) e.Length = static_cast<std::int64_t>(room);
    clusters += std::uint64_t(e.Length);
    next = e.Vcn + e.Length;
    ++kept;
    if (cut) break;
  }
  extents.resize(kept);
  return clusters * boot_.ClusterSize;
}

void NtfsAnswers::AddExtensionExtents(std::span<const std::uint8_t> base, std::uint64_t baseNumber,
                                      std::vector<Extent>& extents) {
  auto list = FindAttribute(base, attr::AttributeList);
  if (!list) return;
  const std::vector<std::uint8_t> value =
      AttributeValue(*list, boot_.ClusterSize, 1 << 20, [this](std::uint64_t offset, std::uint8_t* out, std::size_t count) {
        return source_.ReadAt(offset, out, count);
      });
  for (const AttributeListEntry& e : ParseAttributeList(value)) {
    if (e.Type != attr::Data || e.NameLength != 0 || e.Record == baseNumber) continue;
    auto extension = ReadRecord(e.Record);
    if (!extension) continue;
    if (auto piece = FindDataPiece(*extension, e.StartingVcn))
      if (auto p = piece->MappingPairs()) DecodeMappingPairs(*p, e.StartingVcn, extents);
  }
}

std::size_t NtfsAnswers::ReadData(const std::vector<Extent>& extents, std::uint64_t offset, std::uint8_t* out,
                                  std::size_t count) {
  std::size_t done = 0;
  const std::uint64_t cluster = boot_.ClusterSize;
  while (done < count) {
    const std::uint64_t at = offset + done;
    const auto vcn = static_cast<std::int64_t>(at / cluster);
    auto it = std::find_if(extents.begin(), extents.end(), [vcn](const Extent& e) { return vcn >= e.Vcn && vcn < e.Vcn + e.Length; });
    if (it == extents.end()) break;
    const std::uint64_t within = at - std::uint64_t(it->Vcn) * cluster;
    std::uint64_t extentBytes;
    if (it->Length <= 0 || __builtin_mul_overflow(std::uint64_t(it->Length), cluster, &extentBytes) || within >= extentBytes) break;
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(count - done, extentBytes - within));
    if (it->Sparse()) {
      std::memset(out + done, 0, n);
    } else if (source_.ReadAt(std::uint64_t(it->Lcn) * cluster + within, out + done, n) != n) {
      break;
    }
    done += n;
  }
  return done;
}

std::optional<std::vector<std::uint8_t>> NtfsAnswers::ReadRecord(std::uint64_t number) {
  std::vector<std::uint8_t> record(boot_.RecordSize);
  if (ReadData(mft_, number * boot_.RecordSize, record.data(), record.size()) != record.size()) return std::nullopt;
  if (std::memcmp(record.data(), "FILE", 4) != 0) return std::nullopt;
  ApplyFixups(record);
  return record;
}

IoResult NtfsAnswers::Answer(std::uint32_t code, const void* in, std::size_t inSize, void* out, std::size_t outSize) {
  auto* o = static_cast<std::uint8_t*>(out);
  const auto* i = static_cast<const std::uint8_t*>(in);
  switch (code) {
    case ioctl::GetDriveGeometry: return Geometry(o, outSize);
    case ioctl::GetNtfsVolumeData: return VolumeData(o, outSize);
    case ioctl::GetRetrievalPointers: return Retrieval(i, inSize, o, outSize);
    case ioctl::GetVolumeBitmap: return Bitmap(i, inSize, o, outSize);
    default: return {error_code::InvalidParameter, 0};  // the driver knows no such request
  }
}

IoResult NtfsAnswers::Geometry(std::uint8_t* out, std::size_t size) {
  if (size < ioctl::DiskGeometrySize) return {error_code::InsufficientBuffer, 0};
  std::uint8_t sector[512] = {};
  source_.ReadAt(0, sector, sizeof sector);
  std::uint32_t bps = GetU16(sector + boot::BytesPerSector);
  if (bps < 512 || bps > 4096 || (bps & (bps - 1))) bps = 512;  // not a boot sector: the common sector size
  std::memset(out, 0, ioctl::DiskGeometrySize);
  const std::uint64_t sectors = source_.Size() / bps;
  PutU64(out + 0, sectors / (255 * 63));  // cylinders of a conventional 255 x 63 layout
  PutU32(out + 8, 12);                    // FixedMedia
  PutU32(out + 12, 255);
  PutU32(out + 16, 63);
  PutU32(out + ioctl::DiskGeometryBytesPerSector, bps);
  return {error_code::Success, ioctl::DiskGeometrySize};
}

IoResult NtfsAnswers::VolumeData(std::uint8_t* out, std::size_t size) {
  // What Windows answers this request on a volume that is not NTFS.
  if (!Load()) return {error_code::InvalidParameter, 0};
  if (size < ioctl::NtfsVolumeDataSize) return {error_code::InsufficientBuffer, 0};
  std::memset(out, 0, ioctl::NtfsVolumeDataSize);
  const std::uint64_t totalClusters = heldClusters_;
  if (!freeClusters_) {
    std::int64_t used = 0;
    std::vector<std::uint8_t> chunk(65536);
    const std::uint64_t bytes = std::min<std::uint64_t>((totalClusters + 7) / 8, static_cast<std::uint64_t>(bitmapSize_));
    for (std::uint64_t at = 0; at < bytes; at += chunk.size()) {
      const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(chunk.size(), bytes - at));
      const std::size_t got = ReadData(bitmap_, at, chunk.data(), n);
      for (std::size_t k = 0; k < got; ++k) {
        std::uint8_t b = chunk[k];
        if ((at + k + 1) * 8 > totalClusters) b &= static_cast<std::uint8_t>((1u << (totalClusters - (at + k) * 8)) - 1);
        used += __builtin_popcount(b);
      }
      if (got < n) break;  // the rest of the bitmap is not on the medium either
    }
    freeClusters_ = static_cast<std::int64_t>(totalClusters) - used;
  }
  std::uint8_t sector[512];
  source_.ReadAt(0, sector, sizeof sector);
  PutU64(out + ioctl::NtfsVolumeSerialNumber, GetU64(sector + boot::SerialNumber));
  PutU64(out + ioctl::NtfsNumberSectors, std::min<std::uint64_t>(boot_.TotalSectors, source_.Size() / boot_.BytesPerSector));
  PutU64(out + ioctl::NtfsTotalClusters, totalClusters);
  PutU64(out + ioctl::NtfsFreeClusters, static_cast<std::uint64_t>(*freeClusters_));
  PutU32(out + ioctl::NtfsBytesPerSector, boot_.BytesPerSector);
  PutU32(out + ioctl::NtfsBytesPerCluster, static_cast<std::uint32_t>(boot_.ClusterSize));
  PutU32(out + ioctl::NtfsBytesPerFileRecordSegment, boot_.RecordSize);
  PutU32(out + ioctl::NtfsClustersPerFileRecordSegment,
         static_cast<std::uint32_t>(boot_.RecordSize >= boot_.ClusterSize ? boot_.RecordSize / boot_.ClusterSize : 0));
  PutU64(out + ioctl::NtfsMftValidDataLength, static_cast<std::uint64_t>(mftInitialized_));
  PutU64(out + ioctl::NtfsMftStartLcn, static_cast<std::uint64_t>(boot_.MftLcn));
  PutU64(out + ioctl::NtfsMft2StartLcn, GetU64(sector + boot::MftMirrLcn));
  return {error_code::Success, ioctl::NtfsVolumeDataSize};
}

IoResult NtfsAnswers::Retrieval(const std::uint8_t* in, std::size_t inSize, std::uint8_t* out, std::size_t size) {
  if (!Load()) return {error_code::InvalidParameter, 0};
  if (inSize < 8) return {error_code::InvalidParameter, 0};
  if (size < ioctl::RetrievalPointersSize) return {error_code::InsufficientBuffer, 0};
  const std::int64_t vcn = GetI64(in);
  auto it = std::find_if(mft_.begin(), mft_.end(), [vcn](const Extent& e) { return vcn >= e.Vcn && vcn < e.Vcn + e.Length; });
  if (it == mft_.end()) return {error_code::HandleEof, 0};
  std::memset(out, 0, ioctl::RetrievalPointersSize);
  // One extent per answer: the one holding the requested VCN, from its own start.
  PutU32(out + ioctl::RetrievalExtentCount, 1);
  PutU64(out + ioctl::RetrievalStartingVcn, static_cast<std::uint64_t>(it->Vcn));
  PutU64(out + ioctl::RetrievalFirstNextVcn, static_cast<std::uint64_t>(it->Vcn + it->Length));
  PutU64(out + ioctl::RetrievalFirstLcn, static_cast<std::uint64_t>(it->Lcn));
  const bool last = it + 1 == mft_.end();
  return {last ? error_code::Success : error_code::MoreData, ioctl::RetrievalPointersSize};
}

IoResult NtfsAnswers::Bitmap(const std::uint8_t* in, std::size_t inSize, std::uint8_t* out, std::size_t size) {
  if (!Load()) return {error_code::InvalidParameter, 0};
  if (inSize < 8 || size < ioctl::BitmapBytes + 1) return {error_code::InvalidParameter, 0};
  const auto total = static_cast<std::int64_t>(heldClusters_);
  std::int64_t start = GetI64(in);
  if (start < 0 || start >= total) return {error_code::InvalidParameter, 0};
  start &= ~std::int64_t{7};  // the driver answers from a whole bitmap byte
  const std::int64_t clusters = total - start;
  const std::size_t room = size - ioctl::BitmapBytes;
  const std::size_t bytes = static_cast<std::size_t>(std::min<std::int64_t>(room, (clusters + 7) / 8));
  std::memset(out, 0, ioctl::BitmapBytes + bytes);
  PutU64(out + ioctl::BitmapStartingLcn, static_cast<std::uint64_t>(start));
  PutU64(out + ioctl::BitmapSize, static_cast<std::uint64_t>(clusters));
  if (ReadData(bitmap_, static_cast<std::uint64_t>(start / 8), out + ioctl::BitmapBytes, bytes) != bytes)
    return {error_code::ReadFault, 0};
  const bool more = static_cast<std::int64_t>(bytes) * 8 < clusters;
  return {more ? error_code::MoreData : error_code::Success, static_cast<std::uint32_t>(ioctl::BitmapBytes + bytes)};
}

}  // namespace vant::image
