// How much of a deleted file's disk area is still free, as a whole percentage.
#pragma once

#include <cstdint>

#include "catalogue/catalogue.h"
#include "platform/volume_device.h"
#include "platform/work_observer.h"
#include "recovery/run_list.h"

namespace vant {

// Bitmap requests cover at most this many clusters each.
inline constexpr std::int64_t ClustersPerBitmapAnswer = 4096 * 8;

// The run's clusters that the volume bitmap marks as in use. Every cluster is
// tested once, each at its own bit located from the start the answer reports.
std::int64_t CountClustersInUse(VolumeDevice& volume, std::int64_t lcn, std::int64_t count, WorkObserver& observer);

// 100 for resident or live entries, and for files held in a recycle bin
// (deleted to the user, their records and clusters still in use); otherwise the coverage H of the size by
// the run list, less the share of its on-disk clusters now in use:
// H x (R - A) / R, rounded down. No run list, no clusters, or size 0 gives 0.
int ComputeIntegrity(VolumeDevice& volume, const FileEntry& entry, const RunList* runs,
                     const RecoveryGeometry& geometry, WorkObserver& observer);

}  // namespace vant
