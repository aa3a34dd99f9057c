#include "ntfs/mapping_pairs.h"

namespace vant::ntfs {
namespace {

// Little-endian, sign-extended from the top bit of the last byte.
std::int64_t ReadSigned(const std::uint8_t* p, unsigned n) {
  if (n == 0) return 0;
  std::uint64_t v = 0;
  for (unsigned i = 0; i < n; ++i) v |= std::uint64_t(p[i]) << (8 * i);
  if (n < 8 && (p[n - 1] & 0x80)) v |= ~std::uint64_t{0} << (8 * n);
  return static_cast<std::int64_t>(v);
}

}  // namespace

bool DecodeRunEntry(std::span<const std::uint8_t> bytes, RunEntry& entry) {
  entry = RunEntry{};
  if (bytes.empty()) {
    entry.Bad = true;
    return false;
  }
  const std::uint8_t header = bytes[0];
  const unsigned lengthBytes = header & 0x0F;
  const unsigned offsetBytes = header >> 4;
  entry.Size = static_cast<std::uint8_t>(1 + lengthBytes + offsetBytes);
  entry.HasOffset = offsetBytes != 0;
  if (entry.Size > bytes.size()) {
    entry.Bad = true;
    entry.Size = static_cast<std::uint8_t>(bytes.size());
    return false;
  }
  if (lengthBytes > 8) entry.Bad = true;
  else entry.Length = ReadSigned(bytes.data() + 1, lengthBytes);
  if (offsetBytes > 8) entry.Bad = true;
  else entry.Offset = ReadSigned(bytes.data() + 1 + lengthBytes, offsetBytes);
  return !entry.Bad && entry.Size < bytes.size() && bytes[entry.Size] != 0;
}

bool DecodeMappingPairs(std::span<const std::uint8_t> bytes, std::int64_t firstVcn, std::vector<Extent>& out) {
  std::int64_t vcn = firstVcn;
  std::int64_t lcn = 0;
  std::size_t at = 0;
  while (at < bytes.size()) {
    if (bytes[at] == 0) return true;  // end marker
    RunEntry entry;
    DecodeRunEntry(bytes.subspan(at), entry);
    if (entry.Bad || entry.Length <= 0) return false;
    Extent extent;
    extent.Vcn = vcn;
    extent.Length = entry.Length;
    if (entry.HasOffset) {
      if (__builtin_add_overflow(lcn, entry.Offset, &lcn) || lcn < 0) return false;
      extent.Lcn = lcn;
    }
    out.push_back(extent);
    if (__builtin_add_overflow(vcn, entry.Length, &vcn)) return false;
    at += entry.Size;
  }
  return false;  // ran off the end without a marker
}

}  // namespace vant::ntfs
