// A file's data runs, decoded at recovery time from its MFT record read
// again from the volume.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "catalogue/catalogue.h"
#include "ntfs/volume_context.h"

namespace vant {

struct RunRecord {
  std::int64_t LcnDelta = 0;      // first run: the absolute LCN; later runs: difference from the previous start
  std::int64_t ClusterCount = 0;
  bool Sparse = false;            // no offset field: the run has no clusters on disk and reads as zeros
};

struct RunList {
  std::vector<RunRecord> Runs;
  bool Truncated = false;  // the mapping pairs ran into the record's end or held a bad entry
  // The clusters hold NTFS-compressed data (the extraction decompresses it)
  // or encrypted data (copied as it lies: the user must be told).
  bool Compressed = false;
  bool Encrypted = false;
  std::uint8_t CompressionUnitLog = 0;  // compressed: 2^n clusters per compression unit
};

// Cluster geometry as the recovery reads it once per command: bytes per
// sector from the geometry request, sectors per cluster from the boot sector,
// the record size and the cluster count from the NTFS volume data.
struct RecoveryGeometry {
  std::uint32_t BytesPerSector = 0;
  std::uint32_t SectorsPerCluster = 0;
  std::uint32_t RecordSize = 0;
  std::uint64_t TotalClusters = 0;  // the volume's end; 0 when the volume did not say
  std::uint64_t ClusterSize() const { return std::uint64_t(BytesPerSector) * SectorsPerCluster; }
  bool Usable() const { return ClusterSize() != 0 && RecordSize >= 512; }
};

RecoveryGeometry ReadRecoveryGeometry(VolumeDevice& volume);

// The entry's record, read at RecordOffset with its own size and fixed up
// like the scan does; none when it cannot be read whole.
std::optional<std::vector<std::uint8_t>> ReadEntryRecord(VolumeDevice& volume, const FileEntry& entry,
                                                         const RecoveryGeometry& geometry);

// The run list of a non-resident entry, decoded within the record's bounds;
// none for a directory or an empty file (unless its name has the recycle-bin
// form) or when the record cannot be read.
// With the catalogue, a run list that the record's attribute list continues
// in extension records is followed there (each found at its catalogue
// entry's offset, and only while it still names this base record).
std::optional<RunList> LoadRunList(VolumeDevice& volume, const FileEntry& entry, const RecoveryGeometry& geometry,
                                   char driveLetter, const Catalogue* catalogue = nullptr);

// The clusters the run list holds on disk, as absolute extents.
struct DiskRun {
  std::int64_t Lcn;  // meaningless for sparse runs
  std::int64_t ClusterCount;
  bool Sparse;
};
std::vector<DiskRun> AbsoluteRuns(const RunList& list);

}  // namespace vant
