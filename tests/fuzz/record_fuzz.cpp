// libFuzzer target: any bytes as a FILE record (fixups, then decoding) and
// as mapping pairs. Neither decoder may read outside what it is given.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "catalogue/catalogue.h"
#include "ntfs/fixups.h"
#include "ntfs/mapping_pairs.h"
#include "ntfs/record_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static vant::Catalogue catalogue;
  if (catalogue.Count() > 4096) catalogue.Clear();
  // Records are whole 512-byte stretches; an exact-size copy lets the
  // sanitizer catch a read one byte past the end.
  const std::size_t recordSize = size / 512 * 512;
  if (recordSize >= 512 && recordSize <= 65536) {
    std::vector<std::uint8_t> record(data, data + recordSize);
    vant::ntfs::ApplyFixups(record);
    if (vant::IsValidBaseRecord(record)) {
      vant::FileEntry& entry = catalogue.Append();
      vant::DecodeFileRecord(catalogue, entry, record, 'C');
      if (!entry.IsResident && entry.DataOffset < record.size()) {
        std::vector<vant::ntfs::Extent> extents;
        vant::ntfs::DecodeMappingPairs(std::span(record).subspan(entry.DataOffset), 0, extents);
      }
    }
  }
  std::vector<std::uint8_t> pairs(data, data + size);
  std::vector<vant::ntfs::Extent> extents;
  vant::ntfs::DecodeMappingPairs(pairs, 0, extents);
  return 0;
}
