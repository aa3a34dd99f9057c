#include "recovery/extraction.h"

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
    result_.Ok = !failed_;
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
  const std::size_t chunk = static_cast<std::size_t>(std::max<std::uint64_t>(cluster, ExtractChunkBytes / cluster * cluster));
  std::vector<std::uint8_t> buffer(chunk);
  PumpBudget pump(1, 16);  // a chunk is megabytes: read the clock after each
  std::uint64_t total = 0;  // bytes of the file accounted for so far

  for (const DiskRun& run : AbsoluteRuns(runs)) {
    if (total >= size || writer.Failed()) break;
    if (run.ClusterCount < 1) continue;
    std::uint64_t left = std::min<std::uint64_t>(std::uint64_t(run.ClusterCount) * cluster, size - total);
    std::uint64_t at = std::uint64_t(run.Lcn) * cluster;
    while (left > 0 && !writer.Failed()) {
      const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(left, chunk));
      // Whole clusters are read; only what the file needs is written.
      const std::size_t readBytes = static_cast<std::size_t>((want + cluster - 1) / cluster * cluster);
      if (run.Sparse) {
        std::memset(buffer.data(), 0, want);
      } else {
        std::size_t got = volume.Seek(at) ? volume.Read(buffer.data(), readBytes) : 0;
        if (got < want) {
          // Read the rest cluster by cluster; what cannot be read becomes zeros.
          for (std::size_t c = got / cluster * cluster; c < want; c += cluster) {
            const std::size_t n = volume.Seek(at + c) ? volume.Read(buffer.data() + c, cluster) : 0;
            if (n < cluster) {
              std::memset(buffer.data() + c, 0, cluster);  // the whole cluster, not a torn one
              ++result.UnreadableClusters;
            }
          }
        }
        at += readBytes;
      }
      writer.Write(buffer.data(), want);
      left -= want;
      total += want;
      if (pump.Due()) observer.Pump();
    }
  }
  writer.Finish();
  return result;
}

}  // namespace vant
