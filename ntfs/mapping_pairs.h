// Mapping pairs: the run list of a non-resident attribute value.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace vant::ntfs {

// One decoded mapping-pairs entry.
struct RunEntry {
  std::int64_t Offset = 0;  // signed LCN difference from the previous run; 0 when absent
  std::int64_t Length = 0;  // clusters
  std::uint8_t Size = 0;    // bytes the entry takes, header included
  bool HasOffset = false;   // false for a sparse run (no offset field)
  bool Bad = false;         // a field wider than 8 bytes, or the entry runs past the end
};

// Decodes the entry at the start of `bytes`; the result is true while another
// entry follows (the next header byte exists and is not 0, and this entry is
// sound). Never reads outside `bytes`.
bool DecodeRunEntry(std::span<const std::uint8_t> bytes, RunEntry& entry);

// One run with an absolute start; Lcn < 0 marks a sparse run.
struct Extent {
  std::int64_t Vcn = 0;
  std::int64_t Lcn = -1;
  std::int64_t Length = 0;
  bool Sparse() const { return Lcn < 0; }
};

// Decodes a whole list into absolute extents starting at `firstVcn`; stops at
// the end marker, at a bad entry or at the end of `bytes`. False when the
// list was cut short by a fault rather than by its end marker.
bool DecodeMappingPairs(std::span<const std::uint8_t> bytes, std::int64_t firstVcn, std::vector<Extent>& out);

}  // namespace vant::ntfs
