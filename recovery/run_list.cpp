#include "recovery/run_list.h"

#include "ntfs/fixups.h"
#include "ntfs/layout.h"
#include "ntfs/mapping_pairs.h"
#include "ntfs/record_decoder.h"

namespace vant {

RecoveryGeometry ReadRecoveryGeometry(VolumeDevice& volume) {
  RecoveryGeometry g;
  VolumeGeometry v;
  if (auto bps = QueryBytesPerSector(volume)) {
    v.BytesPerSector = *bps;
    if (ReadBootSector(volume, v)) {
      g.BytesPerSector = v.BytesPerSector;
      g.SectorsPerCluster = v.SectorsPerCluster;
    }
  }
  if (ReadVolumeData(volume, v)) g.RecordSize = v.BytesPerFileRecordSegment;
  return g;
}

std::optional<std::vector<std::uint8_t>> ReadEntryRecord(VolumeDevice& volume, const FileEntry& entry,
                                                         const RecoveryGeometry& geometry) {
  if (geometry.RecordSize < 512) return std::nullopt;
  std::vector<std::uint8_t> record(geometry.RecordSize);
  if (!volume.Seek(entry.RecordOffset) || volume.Read(record.data(), record.size()) != record.size()) return std::nullopt;
  ntfs::ApplyFixups(record);
  return record;
}

std::optional<RunList> LoadRunList(VolumeDevice& volume, const FileEntry& entry, const RecoveryGeometry& geometry,
                                   char driveLetter) {
  const bool wanted = (!entry.IsDirectory && entry.FileSize != 0) || IsRecycledName(entry.NameView(), driveLetter);
  if (!wanted) return std::nullopt;
  auto record = ReadEntryRecord(volume, entry, geometry);
  if (!record || entry.DataOffset >= record->size()) return std::nullopt;
  RunList list;
  std::span<const std::uint8_t> pairs(record->data() + entry.DataOffset, record->size() - entry.DataOffset);
  // The first entry is always taken, even an end marker ({0, 0}, no clusters).
  for (std::size_t at = 0;;) {
    ntfs::RunEntry run;
    const bool more = ntfs::DecodeRunEntry(pairs.subspan(at), run);
    // No volume has 2^40 clusters: a longer run is garbage, and keeping
    // lengths this small keeps every later sum of them exact.
    if (run.Bad || run.Length < 0 || run.Length > (std::int64_t{1} << 40)) {
      list.Truncated = true;
      break;
    }
    list.Runs.push_back({run.Offset, run.Length, !run.HasOffset && pairs[at] != 0});
    at += run.Size;
    if (!more) {
      if (at >= pairs.size()) list.Truncated = true;  // no end marker before the record's end
      break;
    }
  }
  return list;
}

std::vector<DiskRun> AbsoluteRuns(const RunList& list) {
  std::vector<DiskRun> runs;
  std::int64_t lcn = 0;
  for (const RunRecord& r : list.Runs) {
    // A start that overflows cannot be on any disk: the list ends there.
    if (!r.Sparse && __builtin_add_overflow(lcn, r.LcnDelta, &lcn)) break;
    runs.push_back({lcn, r.ClusterCount, r.Sparse});
  }
  return runs;
}

}  // namespace vant
