// The recycle bin's own records: where each item in it came from.
//
// Since Vista the bin is `$Recycle.Bin\<SID>\`, where a recycled item becomes
// `$R` + six characters + its extension (the content; a folder stays a
// folder) beside `$I` + the same suffix (a small file naming the original
// path, size and deletion time). Before, it was `RECYCLER\<SID>\` with
// `Dc<n>.ext` items and one INFO2 file of 800-byte records.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "platform/volume_device.h"

namespace vant {

// A `$I` file: version 1 (8-byte version, size, FILETIME, then the path in a
// fixed field of 260 UTF-16 units) or version 2 (the same three, then a
// 4-byte count of units including the terminating NUL, then the path). None
// for anything else: another version, a count that runs past the value, no
// terminator, a path that is not absolute.
std::optional<RecycledOrigin> DecodeRecycleInfo(std::span<const std::uint8_t> value);

// One record of an INFO2 file.
struct Info2Record {
  std::uint32_t Index = 0;  // the n of Dc<n>.ext
  char DriveLetter = 0;     // 'a' for drive number 0
  RecycledOrigin Origin;
};
// The records of an INFO2 file (a 20-byte header whose record size must be
// 800, then the records); records without an absolute path are left out.
std::vector<Info2Record> DecodeInfo2(std::span<const std::uint8_t> value);

// After a scan: finds the bins at the root, reads every `$I` (live or
// deleted) and INFO2 in them, and gives each matching item its origin. Every
// item of a bin, and everything inside a recycled folder, counts as deleted.
// Reads records and clusters through `volume` only; what cannot be read or
// decoded is passed over. Returns the number of items given an origin.
std::size_t ReadRecycleBins(VolumeDevice& volume, Catalogue& catalogue, std::uint32_t recordSize,
                            std::uint64_t clusterSize);

}  // namespace vant
