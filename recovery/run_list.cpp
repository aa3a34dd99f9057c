#include "recovery/run_list.h"

#include <algorithm>

#include "ntfs/attributes.h"
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
  if (ReadVolumeData(volume, v)) {
    g.RecordSize = v.BytesPerFileRecordSegment;
    g.TotalClusters = v.TotalClusters;
  }
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

namespace {

// No volume has 2^40 clusters: a longer run, or a list longer in all, is
// garbage, and keeping the total this small keeps every later sum exact.
constexpr std::int64_t kMaxListClusters = std::int64_t{1} << 40;

// Where the list being built stands, carried from piece to piece.
struct ListEnd {
  std::int64_t LastLcn = 0;   // start of the last run with clusters on disk
  std::int64_t Clusters = 0;  // clusters of every run so far
};

// Appends the runs of one piece of mapping pairs. The first run of a piece
// is absolute (each piece starts from LCN 0): it is made relative to the
// last run already in the list so the list reads as one.
bool AppendPairs(RunList& list, ListEnd& end, std::span<const std::uint8_t> pairs, bool takeEndMarker) {
  std::int64_t lcn = 0;  // absolute start of this piece's runs, from its own 0
  for (std::size_t at = 0;;) {
    ntfs::RunEntry run;
    const bool more = ntfs::DecodeRunEntry(pairs.subspan(at), run);
    if (run.Bad || run.Length < 0 || run.Length > kMaxListClusters - end.Clusters) {
      list.Truncated = true;
      return false;
    }
    if (takeEndMarker || pairs[at] != 0) {
      RunRecord r{run.Offset, run.Length, !run.HasOffset && pairs[at] != 0};
      if (!r.Sparse) {
        if (__builtin_add_overflow(lcn, run.Offset, &lcn) || __builtin_sub_overflow(lcn, end.LastLcn, &r.LcnDelta)) {
          list.Truncated = true;
          return false;
        }
        end.LastLcn = lcn;
      }
      end.Clusters += run.Length;
      list.Runs.push_back(r);
    }
    at += run.Size;
    if (!more) {
      if (at >= pairs.size()) list.Truncated = true;  // no end marker before the record's end
      return !list.Truncated;
    }
  }
}

// The value of the record's attribute list, resident or in clusters of its own.
std::vector<std::uint8_t> AttributeListOf(VolumeDevice& volume, std::span<const std::uint8_t> record,
                                          const RecoveryGeometry& geometry) {
  auto list = ntfs::FindAttribute(record, ntfs::attr::AttributeList);
  if (!list) return {};
  return ntfs::AttributeValue(*list, geometry.ClusterSize(), 1 << 20,
                              [&volume](std::uint64_t offset, std::uint8_t* out, std::size_t count) {
                                return volume.Seek(offset) ? volume.Read(out, count) : 0;
                              });
}

}  // namespace

std::optional<RunList> LoadRunList(VolumeDevice& volume, const FileEntry& entry, const RecoveryGeometry& geometry,
                                   char driveLetter, const Catalogue* catalogue) {
  const bool wanted = (!entry.IsDirectory && entry.FileSize != 0) || IsRecycledName(entry.NameView(), driveLetter);
  if (!wanted) return std::nullopt;
  auto record = ReadEntryRecord(volume, entry, geometry);
  if (!record || entry.DataOffset >= record->size()) return std::nullopt;
  RunList list;
  // The attribute holding the data tells how it is stored.
  for (std::size_t offset = ntfs::GetU16(record->data() + ntfs::rec::FirstAttribute);;) {
    auto a = ntfs::AttributeAt(*record, offset);
    if (!a) break;
    offset += a->Bytes.size();
    const bool holds = entry.DataOffset != 0 ? entry.DataOffset > a->Offset && entry.DataOffset < offset
                                              : a->Type() == ntfs::attr::Data && a->NameLength() == 0;
    if (!holds) continue;
    const std::uint16_t flags = ntfs::GetU16(a->Bytes.data() + ntfs::attr::AttributeFlags);
    list.Compressed = (flags & ntfs::attr::FlagCompressed) != 0;
    list.Encrypted = (flags & ntfs::attr::FlagEncrypted) != 0;
    if (list.Compressed && a->NonResident() && a->Bytes.size() > ntfs::attr::CompressionUnit)
      list.CompressionUnitLog = a->Bytes[ntfs::attr::CompressionUnit];
    break;
  }
  // A run list too long for one record goes on in extension records, named
  // by the attribute list.
  std::vector<std::pair<std::int64_t, std::uint64_t>> pieces;
  if (catalogue && !entry.IsResident) {
    for (const ntfs::AttributeListEntry& a : ntfs::ParseAttributeList(AttributeListOf(volume, *record, geometry)))
      if (a.Type == ntfs::attr::Data && a.NameLength == 0 && a.Record != entry.RecordNumber)
        pieces.push_back({a.StartingVcn, a.Record});
    std::sort(pieces.begin(), pieces.end());
  }
  ListEnd listEnd;
  // No $DATA in the record itself (offset 0): its runs are all in extension records.
  if (entry.DataOffset != 0) {
    std::span<const std::uint8_t> pairs(record->data() + entry.DataOffset, record->size() - entry.DataOffset);
    // The first entry is always taken, even an end marker ({0, 0}, no
    // clusters), unless more pieces follow.
    AppendPairs(list, listEnd, pairs, pieces.empty());
  }
  for (const auto& [vcn, number] : pieces) {
    std::optional<std::vector<std::uint8_t>> extension;
    if (number < catalogue->Count()) extension = ReadEntryRecord(volume, catalogue->At(number), geometry);
    // A piece that is gone, or a record now holding something else, ends the list there.
    if (!extension || BaseRecordOf(*extension) != entry.RecordNumber) {
      list.Truncated = true;
      break;
    }
    bool found = false;
    if (auto piece = ntfs::FindDataPiece(*extension, vcn))
      if (auto pairs = piece->MappingPairs()) found = AppendPairs(list, listEnd, *pairs, false);
    if (!found) {
      list.Truncated = true;
      break;
    }
  }
  if (list.Runs.empty()) return std::nullopt;
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
