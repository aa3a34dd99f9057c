#include "recovery/integrity.h"

#include <algorithm>
#include <chrono>

#include "ntfs/layout.h"

namespace vant {

std::int64_t CountClustersInUse(VolumeDevice& volume, std::int64_t lcn, std::int64_t count, WorkObserver& observer) {
  PumpBudget pump(1, 64);  // an answer holds 32768 clusters: read the clock each time
  std::int64_t free = 0, tested = 0;
  std::uint8_t answer[ioctl::VolumeBitmapSize];
  while (tested < count) {
    std::uint8_t in[8];
    ntfs::PutU64(in, static_cast<std::uint64_t>(lcn + tested));
    const IoResult result = volume.Control(ioctl::GetVolumeBitmap, in, sizeof in, answer, sizeof answer);
    if (!result.Ok() && !result.MoreData()) break;
    const std::int64_t start = ntfs::GetI64(answer + ioctl::BitmapStartingLcn);
    const std::int64_t size = ntfs::GetI64(answer + ioctl::BitmapSize);
    const std::int64_t first = lcn + tested;
    if (start > first) break;  // an answer that does not hold the cluster asked for
    const std::int64_t bytes = std::min<std::int64_t>(4096, result.BytesReturned > 16 ? result.BytesReturned - 16 : 4096);
    const std::int64_t described = bytes * 8 - (first - start);
    const std::int64_t k = std::min({count - tested, described, size - (first - start)});
    if (k <= 0) break;
    for (std::int64_t j = 0; j < k; ++j) {
      const std::int64_t bit = first + j - start;
      if ((answer[ioctl::BitmapBytes + bit / 8] & (1u << (bit % 8))) == 0) ++free;
    }
    tested += k;
    if (pump.Due()) observer.Pump();
  }
  observer.Pump();
  return count - free;
}

int ComputeIntegrity(VolumeDevice& volume, const FileEntry& entry, const RunList* runs,
                     const RecoveryGeometry& geometry, WorkObserver& observer) {
  // A file still held in a recycle bin owns its clusters: nothing took them.
  if (!entry.IsDeleted || entry.HeldInBin || entry.IsResident) return 100;
  if (!runs || entry.FileSize == 0 || !geometry.Usable()) return 0;
  std::int64_t inUse = 0, total = 0, onDisk = 0;
  for (const DiskRun& run : AbsoluteRuns(*runs)) {
    if (run.ClusterCount >= 1 && !run.Sparse) {
      inUse += CountClustersInUse(volume, run.Lcn, run.ClusterCount, observer);
      onDisk += run.ClusterCount;
    } else if (run.ClusterCount < 1) {
      inUse += static_cast<std::int64_t>(runs->Runs.size());
    }
    total += run.ClusterCount;
  }
  const std::uint64_t size = entry.FileSize;
  const std::uint64_t needed = size / geometry.SectorsPerCluster / geometry.BytesPerSector +
                               (size % geometry.ClusterSize() > 0 ? 1 : 0);
  if (total <= 0 || needed == 0) return 0;
  const std::int64_t coverage = std::min<std::int64_t>(100 * total / static_cast<std::int64_t>(needed), 100);
  // Sparse runs have no clusters that could have been taken.
  if (onDisk == 0) return static_cast<int>(coverage);
  const std::int64_t kept = std::max<std::int64_t>(onDisk - inUse, 0);
  return static_cast<int>(coverage * kept / onDisk);
}

}  // namespace vant
