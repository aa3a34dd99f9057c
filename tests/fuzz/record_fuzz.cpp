// libFuzzer target: any bytes as a FILE record (fixups, then decoding as a
// base or an extension record), as an INDX block (in use and free), as
// mapping pairs, as an attribute list, as LZNT1 data and as the recycle
// bin's $I and INFO2 files.
// No decoder may read outside what it is given.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "catalogue/catalogue.h"
#include "ntfs/attributes.h"
#include "ntfs/fixups.h"
#include "ntfs/index_remnants.h"
#include "ntfs/mapping_pairs.h"
#include "ntfs/record_decoder.h"
#include "ntfs/recycle_bin.h"
#include "recovery/lznt1.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static vant::Catalogue catalogue;
  if (catalogue.Count() > 4096) catalogue.Clear();
  // Records are whole 512-byte stretches; an exact-size copy lets the
  // sanitizer catch a read one byte past the end.
  const std::size_t recordSize = size / 512 * 512;
  if (recordSize >= 512 && recordSize <= 65536) {
    std::vector<std::uint8_t> record(data, data + recordSize);
    vant::ntfs::ApplyFixups(record);
    if (vant::BaseRecordOf(record) != 0) {
      vant::FileEntry& base = catalogue.Append();
      vant::DecodeExtensionRecord(catalogue, base, record, 'C');
      for (std::int64_t vcn : {0, 1}) vant::ntfs::FindDataPiece(record, vcn);
    }
    if (vant::IsValidBaseRecord(record)) {
      vant::FileEntry& entry = catalogue.Append();
      vant::DecodeFileRecord(catalogue, entry, record, 'C');
      if (!entry.IsResident && entry.DataOffset < record.size()) {
        std::vector<vant::ntfs::Extent> extents;
        vant::ntfs::DecodeMappingPairs(std::span(record).subspan(entry.DataOffset), 0, extents);
      }
    }
  }
  if (recordSize >= 512 && recordSize <= 65536) {
    // The folder and the times of the kept INDX seed (record 64, December 2026).
    const vant::IndexKeyRules rules{64, std::uint64_t{1} << 40, 134'432'352'000'000'000};
    for (bool inUse : {true, false}) {
      std::vector<std::uint8_t> block(data, data + recordSize);
      vant::ScanIndexBlock(block, inUse, rules);
    }
  }
  std::vector<std::uint8_t> pairs(data, data + size);
  std::vector<vant::ntfs::Extent> extents;
  vant::ntfs::DecodeMappingPairs(pairs, 0, extents);
  vant::ntfs::ParseAttributeList(pairs);
  vant::DecodeRecycleInfo(pairs);
  vant::DecodeInfo2(pairs);
  std::vector<std::uint8_t> unit(16 * vant::Lznt1ChunkBytes, 0);
  vant::DecompressLznt1(data, size, unit.data(), unit.size());
  return 0;
}
