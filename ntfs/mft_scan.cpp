#include "ntfs/mft_scan.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <vector>

#include "ntfs/fixups.h"
#include "ntfs/record_decoder.h"

namespace vant {
namespace {


class RecordWalk {
 public:
  RecordWalk(VolumeContext& context, Catalogue& catalogue, ScanObserver& observer, const VolumeGeometry& geometry)
      : context_(context), catalogue_(catalogue), observer_(observer), geometry_(geometry),
        recordSize_(geometry.BytesPerFileRecordSegment) {
    const std::size_t perBatch = std::max<std::size_t>(1, ScanBatchBytes / recordSize_);
    batch_.resize(perBatch * recordSize_);
    unreadable_.assign(perBatch, false);
  }

  bool Cancelled() const { return observer_.CancelRequested(); }
  bool Full() const { return catalogue_.Count() >= static_cast<std::size_t>(std::max(geometry_.RecordCount, 0)); }

  // Reads the records of one extent, whole records from its first cluster.
  void WalkExtent(const MftExtent& extent) {
    VolumeDevice& volume = *context_.VolumeHandle;
    const std::uint64_t start = std::uint64_t(extent.Lcn) * geometry_.ClusterSize();
    const std::uint64_t length = std::uint64_t(extent.ClusterCount) * geometry_.ClusterSize();
    // An extent of an odd number of clusters is read up to and across its end.
    const std::uint64_t records = (length + recordSize_ - 1) / recordSize_;
    std::uint64_t done = 0;
    while (done < records && !Cancelled() && !Full()) {
      const std::uint64_t wanted = std::min<std::uint64_t>(
          {records - done, batch_.size() / recordSize_,
           static_cast<std::uint64_t>(geometry_.RecordCount) - catalogue_.Count()});
      const std::uint64_t at = start + done * recordSize_;
      const std::size_t bytes = static_cast<std::size_t>(wanted * recordSize_);
      std::size_t got = 0;
      if (volume.Seek(at)) got = volume.Read(batch_.data(), bytes);
      stats_.BytesRead += got;
      if (got < bytes && volume.LastError() != 0) got = RereadOneByOne(at, got, wanted);
      for (std::uint64_t k = 0; k < wanted; ++k) {
        if (Cancelled()) return;
        const bool readable = (k + 1) * recordSize_ <= got && !unreadable_[k];
        AddRecord(std::span(batch_.data() + k * recordSize_, recordSize_), at + k * recordSize_, readable);
      }
      done += wanted;
      std::fill(unreadable_.begin(), unreadable_.end(), false);
    }
  }

  const ScanStats& Stats() const { return stats_; }

 private:
  // A batch that failed part-way: every record in it is read on its own, so
  // one bad sector costs one record, not the batch.
  std::size_t RereadOneByOne(std::uint64_t at, std::size_t got, std::uint64_t wanted) {
    VolumeDevice& volume = *context_.VolumeHandle;
    for (std::uint64_t k = got / recordSize_; k < wanted; ++k) {
      std::uint8_t* slot = batch_.data() + k * recordSize_;
      std::size_t n = 0;
      if (volume.Seek(at + k * recordSize_)) n = volume.Read(slot, recordSize_);
      if (n < recordSize_) unreadable_[k] = true;
    }
    return static_cast<std::size_t>(wanted * recordSize_);
  }

  void AddRecord(std::span<std::uint8_t> record, std::uint64_t offset, bool readable) {
    FileEntry& entry = catalogue_.Append();
    entry.PendingPlacement = true;
    entry.RecordOffset = offset;
    ++stats_.Records;
    if (!readable) {
      ++stats_.UnreadableRecords;
    } else if (IsValidBaseRecord(record)) {
      entry.IsBaseRecord = true;
      if (ntfs::ApplyFixups(record) != ntfs::FixupResult::Applied) {
        entry.FixupMismatch = true;
        ++stats_.FixupMismatches;
      }
      DecodeFileRecord(catalogue_, entry, record, context_.DriveLetter);
    }
    // The first record pumps at once, so the progress panel is painted before the long read.
    if (pump_.Due() || stats_.Records == 1) {
      observer_.SetProgress(static_cast<std::int64_t>(entry.RecordNumber));
      observer_.Pump();
    }
  }

  VolumeContext& context_;
  Catalogue& catalogue_;
  ScanObserver& observer_;
  const VolumeGeometry& geometry_;
  const std::uint32_t recordSize_;
  std::vector<std::uint8_t> batch_;
  std::vector<bool> unreadable_;  // per record of the batch in hand
  ScanStats stats_;
  PumpBudget pump_;
};

}  // namespace

ScanStats ScanMft(VolumeContext& context, Catalogue& catalogue, ScanObserver& observer, SystemServices& system) {
  VolumeGeometry geometry;
  VolumeDevice* volume = context.VolumeHandle.get();
  const auto bytesPerSector = volume ? QueryBytesPerSector(*volume) : std::nullopt;
  if (volume) volume->Seek(0);
  catalogue.Clear();
  observer.ScanStarted();
  if (!volume) return {};
  if (!bytesPerSector) {
    // Without the sector size nothing can be read safely.
    observer.ReportError(system.ErrorText(volume->LastError()));
    return {};
  }
  geometry.BytesPerSector = *bytesPerSector;
  if (ReadVolumeData(*volume, geometry)) observer.SetProgressMax(geometry.RecordCount);
  if (!ReadBootSector(*volume, geometry)) {
    observer.ReportError(system.ErrorText(volume->LastError() ? volume->LastError() : error_code::HandleEof));
    return {};
  }

  ScanStats stats;
  // Without the volume data (not NTFS) there is no record size or count:
  // nothing is read and the catalogue stays empty.
  const bool readable = geometry.HaveVolumeData && context.MftHandle && geometry.RecordCount > 0 &&
                        geometry.BytesPerFileRecordSegment >= 512 && geometry.BytesPerFileRecordSegment <= MaxRecordSize &&
                        geometry.ClusterSize() > 0;
  if (readable) {
    catalogue.Reserve(static_cast<std::size_t>(geometry.RecordCount));
    RecordWalk walk(context, catalogue, observer, geometry);
    MftExtentEnumerator extents(*context.MftHandle);
    while (!walk.Cancelled() && !walk.Full()) {
      const auto extent = extents.Next();
      if (!extent) break;
      walk.WalkExtent(*extent);
    }
    stats = walk.Stats();
  }

  if (observer.CancelRequested()) {
    observer.DiscardCatalogue();
    return stats;
  }
  for (std::size_t i = 0; i < catalogue.Count(); ++i) {
    FileEntry& entry = catalogue.At(i);
    if (entry.Name && std::strcmp(entry.Name, ".") == 0) {
      entry.ParentRecord = 0;
      entry.PendingPlacement = false;
      break;
    }
  }
  observer.SetProgressMax(static_cast<std::int64_t>(catalogue.Count()));
  observer.SetProgress(0);
  return stats;
}

}  // namespace vant
