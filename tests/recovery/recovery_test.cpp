// Integrity, run lists and extraction against an in-memory volume whose
// bitmap, bytes and bad stretches each test sets up.
#include <gtest/gtest.h>

#include "ntfs/fixups.h"
#include "ntfs/record_decoder.h"
#include "recovery/extraction.h"
#include "recovery/integrity.h"
#include "recovery/lznt1.h"
#include "recovery/run_list.h"
#include "tests/support/memory_volume.h"
#include "tests/support/record_builder.h"

namespace vant {
namespace {

using testing::MemoryOutput;
using testing::MemoryVolume;
using testing::RecordBuilder;

struct CountingObserver : WorkObserver {
  int pumps = 0;
  void Pump() override { ++pumps; }
};

// A deleted file record with mapping pairs `pairs`, written at cluster `at`
// of the volume; returns its decoded entry.
FileEntry PlaceRecord(MemoryVolume& volume, Catalogue& catalogue, RecordBuilder& record, std::int64_t at) {
  const auto disk = record.OnDisk();
  std::copy(disk.begin(), disk.end(), volume.Bytes().begin() + at * volume.ClusterSize());
  FileEntry& entry = catalogue.Append();
  std::vector<std::uint8_t> fixed = disk;
  ntfs::ApplyFixups(fixed);
  DecodeFileRecord(catalogue, entry, fixed, 'C');
  entry.RecordOffset = at * volume.ClusterSize();
  entry.IsDeleted = true;
  return entry;
}

RecoveryGeometry Geometry(const MemoryVolume& v, std::uint32_t spc, std::uint32_t record = 1024) {
  return RecoveryGeometry{512, spc, record};
}

TEST(Integrity, TellsHowMuchOfTheAreaIsStillFree) {
  MemoryVolume volume(512, 8, 8000);
  CountingObserver observer;
  const RecoveryGeometry g = Geometry(volume, 8);
  Catalogue catalogue;
  FileEntry entry = catalogue.Append();
  entry.IsDeleted = true;
  entry.FileSize = 10 * 4096;

  RunList ten{{{100, 10, false}}};
  EXPECT_EQ(ComputeIntegrity(volume, entry, &ten, g, observer), 100);
  volume.MarkUsed(104, 5);
  EXPECT_EQ(ComputeIntegrity(volume, entry, &ten, g, observer), 50);
  volume.MarkUsed(100, 10);
  EXPECT_EQ(ComputeIntegrity(volume, entry, &ten, g, observer), 0);

  // Runs that cover half the size give half, even when all free.
  RunList half{{{2000, 5, false}}};
  EXPECT_EQ(ComputeIntegrity(volume, entry, &half, g, observer), 50);
  // A sparse run has no clusters to lose: only coverage counts.
  RunList sparse{{{3000, 5, false}, {0, 5, true}}};
  EXPECT_EQ(ComputeIntegrity(volume, entry, &sparse, g, observer), 100);
  // No run list, no clusters, or size 0 give 0; a live file gives 100.
  RunList none{{{0, 0, false}}};
  EXPECT_EQ(ComputeIntegrity(volume, entry, nullptr, g, observer), 0);
  EXPECT_EQ(ComputeIntegrity(volume, entry, &none, g, observer), 0);
  FileEntry empty = entry;
  empty.FileSize = 0;
  EXPECT_EQ(ComputeIntegrity(volume, empty, &ten, g, observer), 0);
  FileEntry live = entry;
  live.IsDeleted = false;
  EXPECT_EQ(ComputeIntegrity(volume, live, &ten, g, observer), 100);
}

TEST(Integrity, LongRunsAreTestedClusterByClusterAcrossBitmapAnswers) {
  MemoryVolume volume(512, 1, 150'000);
  CountingObserver observer;
  // A run of 100,003 clusters from an unaligned start: several answers, each
  // starting at a multiple of 8 below the cluster asked for.
  const std::int64_t lcn = 5, count = 100'003;
  for (std::int64_t c : {lcn, lcn + 32767, lcn + 32768, lcn + 65535, lcn + 65536, lcn + count - 1}) volume.MarkUsed(c);
  volume.MarkUsed(lcn - 1);          // just outside the run
  volume.MarkUsed(lcn + count);      // just outside the run
  EXPECT_EQ(CountClustersInUse(volume, lcn, count, observer), 6);
  EXPECT_GE(volume.BitmapRequests, 4);
  EXPECT_LE(volume.BitmapRequests, 5);
  EXPECT_GE(observer.pumps, 1);
  // A run past the end of the volume cannot be vouched for: the 10 clusters past it count as in use.
  EXPECT_EQ(CountClustersInUse(volume, 149'990, 20, observer), 10);
}

TEST(Extraction, CopiesRunsWholeWithSparseHolesAndBadClustersAsZeros) {
  // 64 KiB clusters: buffers must fit whatever the cluster size.
  MemoryVolume volume(512, 128, 64);
  const RecoveryGeometry g = Geometry(volume, 128);
  const std::uint64_t cs = volume.ClusterSize();
  volume.Fill(10, 3, 1);
  volume.Fill(20, 2, 2);
  volume.Fill(5, 1, 3);
  CountingObserver observer;
  // 3 clusters at 10, a 2-cluster hole, 2 clusters at 20, 1 at 5 (a backward delta); cut mid-cluster.
  RunList runs{{{10, 3, false}, {0, 2, true}, {10, 2, false}, {-15, 1, false}}};
  const std::uint64_t size = 7 * cs + 1234;
  MemoryOutput out;
  ExtractResult r = ExtractRunFile(volume, size, runs, g, out, observer);
  ASSERT_TRUE(r.Ok);
  ASSERT_EQ(out.Data.size(), size);
  auto& disk = volume.Bytes();
  EXPECT_TRUE(std::equal(out.Data.begin(), out.Data.begin() + 3 * cs, disk.begin() + 10 * cs));
  EXPECT_TRUE(std::all_of(out.Data.begin() + 3 * cs, out.Data.begin() + 5 * cs, [](auto b) { return b == 0; }));
  EXPECT_TRUE(std::equal(out.Data.begin() + 5 * cs, out.Data.begin() + 7 * cs, disk.begin() + 20 * cs));
  EXPECT_TRUE(std::equal(out.Data.begin() + 7 * cs, out.Data.end(), disk.begin() + 5 * cs));
  EXPECT_EQ(r.UnreadableClusters, 0u);
  EXPECT_GE(volume.LargestRead, 3 * cs);  // one read for the whole run

  // A cluster that cannot be read is zeros and counted; the rest keeps its place.
  volume.FailReads(11 * cs + 100, 11 * cs + 101);
  MemoryOutput damaged;
  r = ExtractRunFile(volume, size, runs, g, damaged, observer);
  EXPECT_TRUE(r.Ok);
  EXPECT_EQ(r.UnreadableClusters, 1u);
  ASSERT_EQ(damaged.Data.size(), size);
  EXPECT_TRUE(std::equal(damaged.Data.begin(), damaged.Data.begin() + cs, disk.begin() + 10 * cs));
  EXPECT_TRUE(std::all_of(damaged.Data.begin() + cs, damaged.Data.begin() + 2 * cs, [](auto b) { return b == 0; }));
  EXPECT_TRUE(std::equal(damaged.Data.begin() + 2 * cs, damaged.Data.begin() + 3 * cs, disk.begin() + 12 * cs));

  // A full destination is a failure with the destination's error.
  MemoryOutput full(2 * cs);
  r = ExtractRunFile(volume, size, runs, g, full, observer);
  EXPECT_FALSE(r.Ok);
  EXPECT_EQ(r.Error, error_code::DiskFull);
  EXPECT_TRUE(full.Closed);
}

TEST(Extraction, NothingPastTheVolumesEndIsReadOrWritten) {
  MemoryVolume volume(512, 8, 64);
  RecoveryGeometry g = Geometry(volume, 8);
  g.TotalClusters = 64;
  const std::uint64_t cs = volume.ClusterSize();
  volume.Fill(60, 4, 9);
  CountingObserver observer;

  // A run that goes on past the last cluster: the clusters beyond are zeros,
  // counted, and never asked of the device.
  RunList across{{{60, 10, false}}};
  MemoryOutput out;
  ExtractResult r = ExtractRunFile(volume, 10 * cs, across, g, out, observer);
  EXPECT_TRUE(r.Ok);
  ASSERT_EQ(out.Data.size(), 10 * cs);
  EXPECT_TRUE(std::equal(out.Data.begin(), out.Data.begin() + 4 * cs, volume.Bytes().begin() + 60 * cs));
  EXPECT_TRUE(std::all_of(out.Data.begin() + 4 * cs, out.Data.end(), [](auto b) { return b == 0; }));
  EXPECT_EQ(r.UnreadableClusters, 6u);
  EXPECT_LE(volume.FurthestAsked, 64 * cs);

  // A run that starts where no volume reaches, and a size that claims more
  // than the whole volume: the file stops at the volume's size.
  RunList far{{{std::int64_t{1} << 38, std::int64_t{1} << 39, false}}};
  MemoryOutput capped(128 * cs);
  r = ExtractRunFile(volume, std::uint64_t{1} << 50, far, g, capped, observer);
  EXPECT_TRUE(r.Ok);
  EXPECT_TRUE(r.CutAtVolumeSize);
  EXPECT_EQ(capped.Data.size(), 64 * cs);
  EXPECT_EQ(r.UnreadableClusters, 64u);
  EXPECT_LE(volume.FurthestAsked, 64 * cs);

  // The same for a compressed file's units, and for holes.
  RunList packed{{{60, 10, false}}, false, true, false, 4};
  MemoryOutput units(128 * cs);
  r = ExtractRunFile(volume, std::uint64_t{1} << 50, packed, g, units, observer);
  EXPECT_TRUE(r.CutAtVolumeSize);
  EXPECT_LE(units.Data.size(), 64 * cs);
  EXPECT_LE(volume.FurthestAsked, 64 * cs);
  RunList hole{{{0, std::int64_t{1} << 39, true}}};
  MemoryOutput zeros(128 * cs);
  r = ExtractRunFile(volume, std::uint64_t{1} << 50, hole, g, zeros, observer);
  EXPECT_EQ(zeros.Data.size(), 64 * cs);
}

TEST(Extraction, ResidentDataComesWholeFromTheFixedUpRecord) {
  MemoryVolume volume(512, 8, 64);
  Catalogue catalogue;
  // 600 bytes of value: it crosses the first sector's check value at 510.
  std::vector<std::uint8_t> value(600);
  for (std::size_t i = 0; i < value.size(); ++i) value[i] = static_cast<std::uint8_t>(i * 13 + 1);
  for (std::uint32_t size : {1024u, 4096u}) {
    RecordBuilder record(size);
    record.StandardInformation(1, 2, 3).FileName(5, u"r.txt").Resident(ntfs::attr::Data, value);
    FileEntry entry = PlaceRecord(volume, catalogue, record, 3);
    ASSERT_TRUE(entry.IsResident);
    MemoryOutput out;
    ExtractResult r = ExtractResidentFile(volume, entry, Geometry(volume, 8, size), out);
    EXPECT_TRUE(r.Ok) << size;
    EXPECT_EQ(out.Data, value) << size;
  }
  // A record that cannot be read is a failure, not an empty success.
  RecordBuilder record;
  record.StandardInformation(1, 2, 3).FileName(5, u"r.txt").Resident(ntfs::attr::Data, value);
  FileEntry entry = PlaceRecord(volume, catalogue, record, 7);
  volume.FailReads(7 * 4096 + 600, 7 * 4096 + 601);
  MemoryOutput out;
  ExtractResult r = ExtractResidentFile(volume, entry, Geometry(volume, 8), out);
  EXPECT_FALSE(r.Ok);
  EXPECT_TRUE(r.RecordUnreadable);
}

TEST(Lznt1, DecompressesChunksAndStopsAtCorruptTokens) {
  // "abc" as literals, then a copy 3 back for 9 bytes; then a stored chunk.
  const std::vector<std::uint8_t> in = {0x05, 0xB0, 0x08, 'a', 'b', 'c', 0x06, 0x20,
                                        0x02, 0x30, 'x', 'y', 'z', 0, 0};
  std::vector<std::uint8_t> out(3 * Lznt1ChunkBytes, 0);
  EXPECT_EQ(DecompressLznt1(in.data(), in.size(), out.data(), out.size()), 2 * Lznt1ChunkBytes);
  EXPECT_EQ(std::string(out.begin(), out.begin() + 12), "abcabcabcabc");
  EXPECT_TRUE(std::all_of(out.begin() + 12, out.begin() + Lznt1ChunkBytes, [](auto b) { return b == 0; }));
  EXPECT_EQ(std::string(out.begin() + Lznt1ChunkBytes, out.begin() + Lznt1ChunkBytes + 3), "xyz");
  // Past 16 bytes in, the offset takes one more bit: a copy 20 back for 3 bytes.
  std::vector<std::uint8_t> far = {0x00, 0xB0};
  for (int group = 0; group < 3; ++group) {
    far.push_back(0x00);
    for (int i = 0; i < 8; ++i) far.push_back(static_cast<std::uint8_t>('A' + group * 8 + i));
  }
  far.push_back(0x01);                         // one token: 24 bytes in, 11 length bits
  far.push_back(0x00);
  far.push_back(static_cast<std::uint8_t>(19 << 3));  // offset 20, length 3
  ntfs::PutU16(far.data(), static_cast<std::uint16_t>(0xB000 | (far.size() - 3)));
  std::fill(out.begin(), out.end(), 0);
  DecompressLznt1(far.data(), far.size(), out.data(), out.size());
  EXPECT_EQ(std::string(out.begin() + 24, out.begin() + 27), "EFG");
  // A copy from before the chunk's start is corrupt: the chunk ends there.
  const std::vector<std::uint8_t> bad = {0x03, 0xB0, 0x01, 0x00, 0x50, 0, 0};
  std::fill(out.begin(), out.end(), 0);
  DecompressLznt1(bad.data(), bad.size(), out.data(), out.size());
  EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](auto b) { return b == 0; }));
}

TEST(RunLists, AreDecodedFromTheRecordWithinItsBounds) {
  MemoryVolume volume(512, 8, 64);
  Catalogue catalogue;
  const RecoveryGeometry g = Geometry(volume, 8);
  // 4 clusters at 0x1234, a sparse run of 2, 3 clusters 0x10 back.
  RecordBuilder record;
  record.StandardInformation(1, 2, 3).FileName(5, u"n.bin")
      .NonResident(ntfs::attr::Data, 9 * 4096, 9 * 4096 - 5, 9 * 4096 - 5, {0x21, 4, 0x34, 0x12, 0x01, 2, 0x11, 3, 0xF0, 0});
  FileEntry entry = PlaceRecord(volume, catalogue, record, 2);
  auto runs = LoadRunList(volume, entry, g, 'C');
  ASSERT_TRUE(runs);
  EXPECT_FALSE(runs->Truncated);
  auto disk = AbsoluteRuns(*runs);
  ASSERT_EQ(disk.size(), 3u);
  EXPECT_EQ(disk[0].Lcn, 0x1234);
  EXPECT_EQ(disk[0].ClusterCount, 4);
  EXPECT_TRUE(disk[1].Sparse);
  EXPECT_EQ(disk[1].ClusterCount, 2);
  EXPECT_EQ(disk[2].Lcn, 0x1234 - 0x10);
  EXPECT_EQ(disk[2].ClusterCount, 3);

  // Mapping pairs that run to the record's end without an end marker stop there.
  RecordBuilder runaway;
  runaway.StandardInformation(1, 2, 3).FileName(5, u"x.bin").NonResident(ntfs::attr::Data, 4096, 4096, 4096, {0x11, 1, 1});
  FileEntry bad = PlaceRecord(volume, catalogue, runaway, 4);
  std::vector<std::uint8_t> fixed = runaway.Bytes();
  for (std::size_t i = bad.DataOffset; i < fixed.size(); i += 2) fixed[i] = 0x11, fixed[i + 1] = 1;
  RecordBuilder filled(1024);
  filled.Bytes() = fixed;
  const auto onDisk = filled.OnDisk();
  std::copy(onDisk.begin(), onDisk.end(), volume.Bytes().begin() + 4 * 4096);
  auto list = LoadRunList(volume, bad, g, 'C');
  ASSERT_TRUE(list);
  EXPECT_TRUE(list->Truncated);
  EXPECT_LE(list->Runs.size(), (1024 - bad.DataOffset) / 2);
  EXPECT_FALSE(runs->Compressed);
  EXPECT_FALSE(runs->Encrypted);
  // Compressed or encrypted data is flagged, so the user can be told that
  // the clusters copied are not the file's plain bytes.
  for (std::uint16_t flags : {std::uint16_t{0x0001}, std::uint16_t{0x4000}}) {
    RecordBuilder packed;
    packed.StandardInformation(1, 2, 3).FileName(5, u"c.bin");
    const std::size_t attribute = packed.Cursor();
    packed.NonResident(ntfs::attr::Data, 16 * 4096, 40000, 40000, {0x11, 4, 9, 0x01, 12, 0});
    ntfs::PutU16(&packed.Bytes()[attribute + ntfs::attr::AttributeFlags], flags);
    FileEntry c = PlaceRecord(volume, catalogue, packed, 6);
    auto list = LoadRunList(volume, c, g, 'C');
    ASSERT_TRUE(list);
    EXPECT_EQ(list->Compressed, flags == 0x0001);
    EXPECT_EQ(list->Encrypted, flags == 0x4000);
  }
  // Mapping pairs that are only an end marker still make a list (of no
  // clusters), with or without the catalogue to follow extension records.
  RecordBuilder bare;
  bare.StandardInformation(1, 2, 3).FileName(5, u"e.bin").NonResident(ntfs::attr::Data, 4096, 100, 100, {0x00});
  FileEntry empty = PlaceRecord(volume, catalogue, bare, 8);
  const Catalogue* const choices[] = {nullptr, &catalogue};
  for (const Catalogue* withCatalogue : choices) {
    auto list = LoadRunList(volume, empty, g, 'C', withCatalogue);
    ASSERT_TRUE(list);
    ASSERT_EQ(list->Runs.size(), 1u);
    EXPECT_EQ(list->Runs[0].ClusterCount, 0);
  }
  // A folder or an empty file has no run list.
  FileEntry folder = entry;
  folder.IsDirectory = true;
  EXPECT_FALSE(LoadRunList(volume, folder, g, 'C'));
}

}  // namespace
}  // namespace vant
