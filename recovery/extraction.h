// Copies one entry's data from the raw volume into a new file.
#pragma once

#include <cstdint>

#include "catalogue/catalogue.h"
#include "platform/system.h"
#include "platform/work_observer.h"
#include "recovery/run_list.h"

namespace vant {

struct ExtractResult {
  bool Ok = false;                      // every byte written and the file closed cleanly
  std::uint32_t Error = 0;              // the destination's error when not Ok
  std::uint64_t BytesWritten = 0;
  std::uint64_t UnreadableClusters = 0; // written as zeros so the rest keeps its place
  bool RecordUnreadable = false;        // resident data: the record itself could not be read
  bool CutAtVolumeSize = false;         // the size claimed more than the whole volume holds
  bool Cancelled = false;               // stopped early at the observer's request: the file is incomplete
};

// Data moved per read along a run.
inline constexpr std::size_t ExtractChunkBytes = 4 * 1024 * 1024;

// Resident data from the entry's record, read again whole and fixed up.
ExtractResult ExtractResidentFile(VolumeDevice& volume, const FileEntry& entry, const RecoveryGeometry& geometry,
                                  OutputFile& destination);

// Non-resident data along the run list, cut at `size`; sparse runs are zeros.
// Stops early, Cancelled and the file closed, when the observer asks it to.
// Clusters past the volume's end are zeros too (counted as unreadable, never
// asked for), and no file is made larger than the volume.
ExtractResult ExtractRunFile(VolumeDevice& volume, std::uint64_t size, const RunList& runs,
                             const RecoveryGeometry& geometry, OutputFile& destination, WorkObserver& observer);

}  // namespace vant
