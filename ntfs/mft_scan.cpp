#include "ntfs/mft_scan.h"

#include <algorithm>
#include <array>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "ntfs/fixups.h"
#include "ntfs/record_decoder.h"
#include "ntfs/recycle_bin.h"

namespace vant {
namespace {


// Reads the planned stretches of the $MFT on a thread of its own, a few
// batches ahead of the decoding, so reading and decoding overlap. Only this
// thread touches the volume while the scan runs; the form's thread decodes
// and processes messages.
class BatchReader {
 public:
  struct Stretch {
    std::uint64_t At = 0;       // byte offset on the volume
    std::uint64_t Records = 0;  // records in it, at most one batch
  };
  struct Batch {
    Stretch Where;
    std::vector<std::uint8_t> Bytes;
    std::vector<bool> Unreadable;  // per record
    std::size_t Got = 0;           // bytes read whole from the start
    std::uint64_t BytesRead = 0;
  };

  BatchReader(VolumeDevice& volume, std::uint32_t recordSize, std::vector<Stretch> plan)
      : volume_(volume), recordSize_(recordSize), plan_(std::move(plan)) {
    const std::size_t perBatch = std::max<std::size_t>(1, ScanBatchBytes / recordSize_);
    for (auto& b : batches_) {
      b.Bytes.resize(perBatch * recordSize_);
      b.Unreadable.assign(perBatch, false);
      free_.push_back(&b);
    }
    thread_ = std::thread([this] { Run(); });
  }
  ~BatchReader() {
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
    }
    changed_.notify_all();
    thread_.join();
  }

  // The next batch in plan order; null when the plan is done.
  Batch* Next() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return !full_.empty() || done_; });
    if (full_.empty()) return nullptr;
    Batch* b = full_.front();
    full_.pop_front();
    return b;
  }
  void Release(Batch* b) {
    {
      std::lock_guard lock(mutex_);
      free_.push_back(b);
    }
    changed_.notify_all();
  }

 private:
  void Run() {
    for (const Stretch& stretch : plan_) {
      Batch* b = nullptr;
      {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return !free_.empty() || stop_; });
        if (stop_) break;
        b = free_.front();
        free_.pop_front();
      }
      Read(*b, stretch);
      {
        std::lock_guard lock(mutex_);
        full_.push_back(b);
      }
      changed_.notify_all();
    }
    {
      std::lock_guard lock(mutex_);
      done_ = true;
    }
    changed_.notify_all();
  }

  void Read(Batch& b, const Stretch& stretch) {
    b.Where = stretch;
    std::fill(b.Unreadable.begin(), b.Unreadable.end(), false);
    const std::size_t bytes = static_cast<std::size_t>(stretch.Records * recordSize_);
    b.Got = 0;
    if (volume_.Seek(stretch.At)) b.Got = volume_.Read(b.Bytes.data(), bytes);
    b.BytesRead = b.Got;
    if (b.Got < bytes && volume_.LastError() != 0) {
      // A batch that failed part-way: every record in it is read on its
      // own, so one bad sector costs one record, not the batch.
      // Past the medium's end every further read fails too: those records
      // are marked without asking again.
      bool pastEnd = false;
      for (std::uint64_t k = b.Got / recordSize_; k < stretch.Records; ++k) {
        std::size_t n = 0;
        if (!pastEnd && volume_.Seek(stretch.At + k * recordSize_)) n = volume_.Read(b.Bytes.data() + k * recordSize_, recordSize_);
        if (n < recordSize_) {
          b.Unreadable[k] = true;
          pastEnd = pastEnd || volume_.LastError() == error_code::HandleEof;
        }
      }
      b.Got = bytes;
    }
  }

  VolumeDevice& volume_;
  const std::uint32_t recordSize_;
  const std::vector<Stretch> plan_;
  std::array<Batch, 3> batches_;
  std::deque<Batch*> free_, full_;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool stop_ = false, done_ = false;
  std::thread thread_;
};

class RecordWalk {
 public:
  RecordWalk(VolumeContext& context, Catalogue& catalogue, ScanObserver& observer, const VolumeGeometry& geometry)
      : context_(context), catalogue_(catalogue), observer_(observer), geometry_(geometry),
        recordSize_(geometry.BytesPerFileRecordSegment) {}

  bool Cancelled() const { return observer_.CancelRequested(); }

  // Reads the records of the extents in file order, whole records from each
  // extent's first cluster, up to the record count.
  void Walk(const std::vector<MftExtent>& extents) {
    std::vector<BatchReader::Stretch> plan;
    const std::uint64_t perBatch = std::max<std::uint64_t>(1, ScanBatchBytes / recordSize_);
    std::uint64_t left = static_cast<std::uint64_t>(std::max<std::int64_t>(geometry_.RecordCount, 0));
    for (const MftExtent& extent : extents) {
      std::uint64_t start, length;
      // An extent no volume could hold ends the walk.
      if (extent.Lcn < 0 || __builtin_mul_overflow(std::uint64_t(extent.Lcn), geometry_.ClusterSize(), &start)) break;
      if (__builtin_mul_overflow(std::uint64_t(extent.ClusterCount), geometry_.ClusterSize(), &length))
        length = ~std::uint64_t{0};
      // An extent of an odd number of clusters is read up to and across its end.
      const std::uint64_t records = std::min(length / recordSize_ + (length % recordSize_ != 0), left);
      for (std::uint64_t done = 0; done < records;) {
        const std::uint64_t n = std::min(records - done, perBatch);
        plan.push_back({start + done * recordSize_, n});
        done += n;
      }
      left -= records;
    }
    if (plan.empty() || Cancelled()) return;
    catalogue_.Reserve(static_cast<std::size_t>(static_cast<std::uint64_t>(std::max<std::int64_t>(geometry_.RecordCount, 0)) - left));
    BatchReader reader(*context_.VolumeHandle, recordSize_, std::move(plan));
    while (BatchReader::Batch* b = reader.Next()) {
      stats_.BytesRead += b->BytesRead;
      for (std::uint64_t k = 0; k < b->Where.Records; ++k) {
        if (Cancelled()) return;  // the reader stops with the walk
        const bool readable = (k + 1) * recordSize_ <= b->Got && !b->Unreadable[k];
        AddRecord(std::span(b->Bytes.data() + k * recordSize_, recordSize_), b->Where.At + k * recordSize_, readable);
      }
      reader.Release(b);
    }
  }

  const ScanStats& Stats() const { return stats_; }
  // Extension records met, with the base record each names.
  const std::vector<std::pair<std::uint64_t, std::uint64_t>>& Extensions() const { return extensions_; }

 private:
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
    } else if (const std::uint64_t base = BaseRecordOf(record); base != 0) {
      extensions_.push_back({entry.RecordNumber, base});
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
  ScanStats stats_;
  std::vector<std::pair<std::uint64_t, std::uint64_t>> extensions_;
  PumpBudget pump_;
};

// Base records whose name or data went on into extension records get them
// from there. The extensions are few: they are read again one by one.
void CompleteFromExtensions(VolumeDevice& volume, Catalogue& catalogue,
                            const std::vector<std::pair<std::uint64_t, std::uint64_t>>& extensions,
                            const VolumeGeometry& geometry, char driveLetter) {
  std::vector<std::uint8_t> record(geometry.BytesPerFileRecordSegment);
  for (const auto& [extension, base] : extensions) {
    if (base >= catalogue.Count()) continue;
    FileEntry& entry = catalogue.At(static_cast<std::size_t>(base));
    const bool lacksData = entry.FileSize == 0 && entry.DataOffset == 0 && !entry.IsResident && !entry.IsDirectory;
    if (!entry.IsBaseRecord || (!entry.NameView().empty() && !lacksData)) continue;
    if (!volume.Seek(catalogue.At(static_cast<std::size_t>(extension)).RecordOffset) ||
        volume.Read(record.data(), record.size()) != record.size() || BaseRecordOf(record) != base)
      continue;
    ntfs::ApplyFixups(record);
    DecodeExtensionRecord(catalogue, entry, record, driveLetter);
  }
}

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
    RecordWalk walk(context, catalogue, observer, geometry);
    // The extents first (one small request each), then the records; no more
    // extents than the record count needs are asked for.
    std::vector<MftExtent> all;
    MftExtentEnumerator extents(*context.MftHandle);
    const auto wanted = static_cast<std::uint64_t>(geometry.RecordCount) * geometry.BytesPerFileRecordSegment;
    std::uint64_t covered = 0;
    while (covered < wanted) {
      const auto extent = extents.Next();
      if (!extent) break;
      all.push_back(*extent);
      std::uint64_t bytes;
      if (__builtin_mul_overflow(std::uint64_t(extent->ClusterCount), geometry.ClusterSize(), &bytes) ||
          __builtin_add_overflow(covered, bytes, &covered))
        break;
    }
    walk.Walk(all);
    if (!observer.CancelRequested()) CompleteFromExtensions(*volume, catalogue, walk.Extensions(), geometry, context.DriveLetter);
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
  if (readable) ReadRecycleBins(*volume, catalogue, geometry.BytesPerFileRecordSegment, geometry.ClusterSize());
  observer.SetProgressMax(static_cast<std::int64_t>(catalogue.Count()));
  observer.SetProgress(0);
  return stats;
}

}  // namespace vant
