#include "recovery/extraction.h"

#include "recovery/lznt1.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <vector>

namespace vant {
namespace {

class Writer {
 public:
  Writer(OutputFile& file, ExtractResult& result) : file_(file), result_(result) {}
  bool Write(const std::uint8_t* data, std::size_t count) {
    if (failed_ || count == 0) return !failed_;
    const std::size_t n = file_.Write(data, count);
    result_.BytesWritten += n;
    if (n < count) {
      failed_ = true;
      result_.Error = file_.LastError() ? file_.LastError() : error_code::DiskFull;
    }
    return !failed_;
  }
  bool Finish() {
    const bool closed = file_.Close();
    if (!closed && !failed_) {
      failed_ = true;
      result_.Error = file_.LastError();
    }
    result_.Ok = !failed_ && !result_.Cancelled;
    return result_.Ok;
  }
  bool Failed() const { return failed_; }

 private:
  OutputFile& file_;
  ExtractResult& result_;
  bool failed_ = false;
};

}  // namespace

ExtractResult ExtractResidentFile(VolumeDevice& volume, const FileEntry& entry, const RecoveryGeometry& geometry,
                                  OutputFile& destination) {
  ExtractResult result;
  Writer writer(destination, result);
  auto record = ReadEntryRecord(volume, entry, geometry);
  if (!record) {
    result.RecordUnreadable = true;
  } else {
    // The fixed-up record holds the value whole; only bytes inside it are copied.
    const std::size_t start = std::min<std::size_t>(entry.DataOffset, record->size());
    const std::size_t count = std::min<std::uint64_t>(entry.FileSize, record->size() - start);
    writer.Write(record->data() + start, count);
    if (count < entry.FileSize) result.RecordUnreadable = true;
  }
  writer.Finish();
  if (result.RecordUnreadable && result.Ok) {
    result.Ok = false;
    result.Error = error_code::ReadFault;
  }
  return result;
}

namespace {

// The byte offset of a cluster; one no volume could hold lies past every end.
std::uint64_t ByteOffset(std::uint64_t lcn, std::uint64_t cluster) {
  std::uint64_t at;
  return __builtin_mul_overflow(lcn, cluster, &at) ? ~std::uint64_t{0} : at;
}

std::uint64_t Advance(std::uint64_t at, std::uint64_t by) {
  return __builtin_add_overflow(at, by, &at) ? ~std::uint64_t{0} : at;
}

// Reads `bytes` (whole clusters) at byte offset `at` into `out`. When fewer
// than the `needed` first bytes arrive, the rest of those is read cluster by
// cluster, and a cluster that cannot be read becomes zeros and is counted.
// Nothing at or past `volumeEnd` is asked for: it could only fail again.
void ReadClusters(VolumeDevice& volume, std::uint64_t at, std::size_t bytes, std::size_t needed, std::uint64_t cluster,
                  std::uint64_t volumeEnd, std::uint8_t* out, ExtractResult& result) {
  const std::uint64_t held = at >= volumeEnd ? 0 : std::min<std::uint64_t>(bytes, volumeEnd - at);
  if (held < needed) {
    const std::size_t from = static_cast<std::size_t>(held / cluster * cluster);
    std::memset(out + from, 0, needed - from);
    result.UnreadableClusters += (needed - from + cluster - 1) / cluster;
    needed = from;
    bytes = from;
    if (bytes == 0) return;
  }
  const std::size_t got = volume.Seek(at) ? volume.Read(out, bytes) : 0;
  if (got >= needed) return;
  for (std::size_t c = got / cluster * cluster; c < needed; c += cluster) {
    const std::size_t n = volume.Seek(at + c) ? volume.Read(out + c, cluster) : 0;
    if (n < cluster) {
      std::memset(out + c, 0, cluster);  // the whole cluster, not a torn one
      ++result.UnreadableClusters;
    }
  }
}

// A compressed file, one compression unit at a time: a unit whose clusters
// are all on disk is stored as it is, one without any is zeros, and one that
// ends in a hole holds LZNT1 chunks for the whole unit.
void ExtractCompressedUnits(VolumeDevice& volume, std::uint64_t size, const RunList& runs, std::uint64_t cluster,
                            std::uint64_t volumeEnd, Writer& writer, ExtractResult& result, WorkObserver& observer) {
  const std::uint64_t unitClusters = std::uint64_t{1} << runs.CompressionUnitLog;
  const std::size_t unitBytes = static_cast<std::size_t>(unitClusters * cluster);
  std::vector<std::uint8_t> packed(unitBytes), plain(unitBytes);
  const std::vector<DiskRun> disk = AbsoluteRuns(runs);
  std::size_t run = 0;
  std::uint64_t used = 0;  // clusters of disk[run] already taken
  std::uint64_t total = 0;
  PumpBudget pump(1, 16);
  while (total < size && run < disk.size() && !writer.Failed() && !result.Cancelled) {
    std::uint64_t have = 0, stored = 0;
    bool hole = false;
    while (have < unitClusters && run < disk.size()) {
      const DiskRun& r = disk[run];
      const std::uint64_t take = std::min<std::uint64_t>(unitClusters - have, std::uint64_t(std::max<std::int64_t>(r.ClusterCount, 0)) - used);
      if (r.Sparse) {
        hole = true;
      } else {
        const auto bytes = static_cast<std::size_t>(take * cluster);
        ReadClusters(volume, ByteOffset(Advance(std::uint64_t(r.Lcn), used), cluster), bytes, bytes, cluster, volumeEnd,
                     packed.data() + stored * cluster, result);
        stored += take;
      }
      have += take;
      used += take;
      if (used >= std::uint64_t(std::max<std::int64_t>(r.ClusterCount, 0))) {
        ++run;
        used = 0;
      }
    }
    std::fill(plain.begin(), plain.end(), 0);
    if (stored > 0 && !hole) plain.swap(packed);
    else if (stored > 0) DecompressLznt1(packed.data(), static_cast<std::size_t>(stored * cluster), plain.data(), unitBytes);
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(have * cluster, size - total));
    writer.Write(plain.data(), n);
    total += n;
    if (pump.Due()) {
      observer.Pump();
      result.Cancelled = observer.CancelRequested();
    }
  }
}

}  // namespace

ExtractResult ExtractRunFile(VolumeDevice& volume, std::uint64_t size, const RunList& runs,
                             const RecoveryGeometry& geometry, OutputFile& destination, WorkObserver& observer) {
  ExtractResult result;
  Writer writer(destination, result);
  const std::uint64_t cluster = geometry.ClusterSize();
  if (cluster == 0) {
    writer.Finish();
    result.Ok = false;
    result.Error = error_code::InvalidParameter;
    return result;
  }
  // A size read from a damaged record can claim anything: no file holds more
  // than its whole volume, and the copy stops there.
  std::uint64_t volumeEnd = ~std::uint64_t{0};
  if (geometry.TotalClusters != 0 && !__builtin_mul_overflow(geometry.TotalClusters, cluster, &volumeEnd) &&
      size > volumeEnd) {
    size = volumeEnd;
    result.CutAtVolumeSize = true;
  }
  // NTFS compresses only on volumes of clusters up to 4 KiB, in units of 2^n clusters.
  if (runs.Compressed && runs.CompressionUnitLog > 0 && runs.CompressionUnitLog <= 8 && cluster <= 4096) {
    ExtractCompressedUnits(volume, size, runs, cluster, volumeEnd, writer, result, observer);
    writer.Finish();
    return result;
  }
  const std::size_t chunk = static_cast<std::size_t>(std::max<std::uint64_t>(cluster, ExtractChunkBytes / cluster * cluster));
  std::vector<std::uint8_t> buffer(chunk);
  PumpBudget pump(1, 16);  // a chunk is megabytes: read the clock after each
  std::uint64_t total = 0;  // bytes of the file accounted for so far

  for (const DiskRun& run : AbsoluteRuns(runs)) {
    if (total >= size || writer.Failed() || result.Cancelled) break;
    if (run.ClusterCount < 1) continue;
    std::uint64_t left = std::min<std::uint64_t>(std::uint64_t(run.ClusterCount) * cluster, size - total);
    std::uint64_t at = ByteOffset(std::uint64_t(run.Lcn), cluster);
    while (left > 0 && !writer.Failed() && !result.Cancelled) {
      const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(left, chunk));
      // Whole clusters are read; only what the file needs is written.
      const std::size_t readBytes = static_cast<std::size_t>((want + cluster - 1) / cluster * cluster);
      if (run.Sparse) {
        std::memset(buffer.data(), 0, want);
      } else {
        ReadClusters(volume, at, readBytes, want, cluster, volumeEnd, buffer.data(), result);
        at = Advance(at, readBytes);
      }
      writer.Write(buffer.data(), want);
      left -= want;
      total += want;
      if (pump.Due()) {
        observer.Pump();
        result.Cancelled = observer.CancelRequested();
      }
    }
  }
  writer.Finish();
  return result;
}

}  // namespace vant
