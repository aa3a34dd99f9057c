// The update sequence of a multi-sector structure (FILE and INDX records):
// the last two bytes of every 512-byte stretch hold a check value on disk and
// the real bytes are saved in the update-sequence array.
#pragma once

#include <cstdint>
#include <span>

namespace vant::ntfs {

enum class FixupResult : std::uint8_t {
  Applied,   // every stretch carried the check value; the real bytes are back
  Mismatch,  // some stretches did not: those were left as read, the others fixed
  Invalid,   // the header's array does not fit the record: nothing was changed
};

// Validates the array (offset + 2 x count inside the first 510 bytes, count =
// 1 + size / 512) and restores the saved bytes in place.
FixupResult ApplyFixups(std::span<std::uint8_t> record);

}  // namespace vant::ntfs
