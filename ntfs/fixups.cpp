#include "ntfs/fixups.h"

#include "ntfs/layout.h"

namespace vant::ntfs {

FixupResult ApplyFixups(std::span<std::uint8_t> record) {
  const std::size_t size = record.size();
  if (size < rec::FixupStride || size % rec::FixupStride != 0) return FixupResult::Invalid;
  const std::size_t offset = GetU16(record.data() + rec::UsaOffset);
  const std::size_t count = GetU16(record.data() + rec::UsaCount);
  if (count != 1 + size / rec::FixupStride) return FixupResult::Invalid;
  if (offset < rec::UsaCount + 2 || offset % 2 != 0 || offset + 2 * count > rec::FixupStride - 2) return FixupResult::Invalid;
  const std::uint8_t* usa = record.data() + offset;
  bool mismatch = false;
  for (std::size_t i = 1; i < count; ++i) {
    std::uint8_t* tail = record.data() + i * rec::FixupStride - 2;
    if (tail[0] != usa[0] || tail[1] != usa[1]) {
      mismatch = true;
      continue;
    }
    tail[0] = usa[2 * i];
    tail[1] = usa[2 * i + 1];
  }
  return mismatch ? FixupResult::Mismatch : FixupResult::Applied;
}

}  // namespace vant::ntfs
