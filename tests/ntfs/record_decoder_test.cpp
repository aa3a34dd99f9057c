#include "ntfs/record_decoder.h"

#include <gtest/gtest.h>

#include <cstring>

#include "ntfs/attributes.h"
#include "ntfs/fixups.h"
#include "ntfs/mapping_pairs.h"
#include "tests/support/record_builder.h"

namespace vant {
namespace {

using testing::RecordBuilder;
namespace attr = ntfs::attr;

FileEntry Decode(Catalogue& catalogue, std::vector<std::uint8_t> record, char drive = 'C') {
  FileEntry& entry = catalogue.Append();
  DecodeFileRecord(catalogue, entry, record, drive);
  return entry;
}

TEST(RecordDecoder, ChoosesTheNameAndParentAsTheVolumeRecordsThem) {
  Catalogue c;
  // DOS then Win32, and Win32 then DOS: the Win32 name either way; the
  // parent of the last name attribute whatever its namespace.
  auto dosFirst = RecordBuilder().StandardInformation(1, 2, 3).FileName(40, u"RESUME~1.TXT", 2).FileName(41, u"Résumé.txt", 1);
  auto win32First = RecordBuilder().StandardInformation(1, 2, 3).FileName(40, u"Résumé.txt", 1).FileName(41, u"RESUME~1.TXT", 2);
  for (auto* r : {&dosFirst, &win32First}) {
    FileEntry e = Decode(c, r->Bytes());
    EXPECT_EQ(e.NameView(), std::string_view("R\xE9sum\xE9.txt"));
    EXPECT_EQ(e.ParentRecord, 41u);
    EXPECT_EQ(e.CreationTime, 1);
    EXPECT_EQ(e.ModificationTime, 2);
    EXPECT_EQ(e.AccessTime, 3);
  }
  // Two Win32 names (a hard link): the later one.
  FileEntry link = Decode(c, RecordBuilder().StandardInformation(0, 0, 0).FileName(50, u"a.txt").FileName(60, u"b.txt").Bytes());
  EXPECT_EQ(link.NameView(), "b.txt");
  EXPECT_EQ(link.ParentRecord, 60u);
  // Above U+00FF only the low byte stays.
  FileEntry cjk = Decode(c, RecordBuilder().StandardInformation(0, 0, 0).FileName(5, u"\u6587x").Bytes());
  EXPECT_EQ(cjk.NameView(), std::string_view("\x87x"));
  EXPECT_TRUE(c.VolumeName(cjk).empty());  // not asked for: none kept

  // Asked for, the whole units are kept beside the 8-bit name, which stays
  // as the form knows it; from an extension record too.
  Catalogue wide;
  wide.KeepVolumeNames(true);
  FileEntry dosAndLong = Decode(wide, RecordBuilder().StandardInformation(0, 0, 0).FileName(5, u"\u041F\xD800.txt").FileName(5, u"P~1.TXT", 2).Bytes());
  EXPECT_EQ(wide.VolumeName(dosAndLong), u"\u041F\xD800.txt");
  EXPECT_EQ(dosAndLong.NameView(), "\x1F");  // the low byte of U+D800 ends the 8-bit name
  FileEntry& base = wide.Append();
  base.IsBaseRecord = 1;
  wide.SetName(base, "");
  EXPECT_TRUE(DecodeExtensionRecord(wide, base, RecordBuilder(1024, 1).FileName(5, u"\u0416.bin").Bytes(), 'C'));
  EXPECT_EQ(wide.VolumeName(base), u"\u0416.bin");
  const FileEntry gone = base;  // the entry itself goes with Clear
  wide.Clear();
  EXPECT_TRUE(wide.KeepsVolumeNames());
  EXPECT_TRUE(wide.VolumeName(gone).empty());
}

TEST(RecordDecoder, FindsDataOnlyWhereTheVolumeKeepsIt) {
  Catalogue c;
  const std::vector<std::uint8_t> value(37, 0xAB);
  auto resident = RecordBuilder().StandardInformation(0, 0, 0).FileName(5, u"r.txt");
  const std::size_t dataAt = resident.Cursor();
  resident.Resident(attr::Data, value);
  FileEntry r = Decode(c, resident.Bytes());
  EXPECT_TRUE(r.IsResident);
  EXPECT_EQ(r.FileSize, 37u);
  EXPECT_EQ(r.DataOffset, dataAt + 24);

  // Initialized 4096 <= allocated 8192: the initialized size; 9000 > 8192: the data size.
  FileEntry nr1 = Decode(c, RecordBuilder().StandardInformation(0, 0, 0).FileName(5, u"n").NonResident(attr::Data, 8192, 5000, 4096, {0x11, 2, 10}).Bytes());
  EXPECT_FALSE(nr1.IsResident);
  EXPECT_EQ(nr1.FileSize, 4096u);
  FileEntry nr2 = Decode(c, RecordBuilder().StandardInformation(0, 0, 0).FileName(5, u"n").NonResident(attr::Data, 8192, 5000, 9000, {0x11, 2, 10}).Bytes());
  EXPECT_EQ(nr2.FileSize, 5000u);

  // After one attribute of a known type $DATA is found; after two it is not.
  FileEntry one = Decode(c, RecordBuilder().StandardInformation(0, 0, 0).FileName(5, u"o").Resident(attr::ObjectId, std::vector<std::uint8_t>(16)).Resident(attr::Data, value).Bytes());
  EXPECT_EQ(one.FileSize, 37u);
  FileEntry two = Decode(c, RecordBuilder().StandardInformation(0, 0, 0).FileName(5, u"t").Resident(attr::ObjectId, std::vector<std::uint8_t>(16)).Resident(attr::SecurityDescriptor, std::vector<std::uint8_t>(20)).Resident(attr::Data, value).Bytes());
  EXPECT_EQ(two.FileSize, 0u);
  EXPECT_FALSE(two.IsResident);

  // A directory: index attributes, no $DATA.
  FileEntry dir = Decode(c, RecordBuilder(1024, 3).StandardInformation(0, 0, 0).FileName(5, u"d").Resident(attr::IndexRoot, std::vector<std::uint8_t>(32)).Bytes());
  EXPECT_TRUE(dir.IsDirectory);
  EXPECT_FALSE(dir.IsDeleted);
  EXPECT_EQ(dir.FileSize, 0u);
}

TEST(RecordDecoder, SurvivesRecordsThatLie) {
  Catalogue c;
  // Only $STANDARD_INFORMATION: times and flags, an empty (not null) name.
  FileEntry bare = Decode(c, RecordBuilder(1024, 0).StandardInformation(7, 8, 9).Bytes());
  EXPECT_EQ(bare.CreationTime, 7);
  EXPECT_TRUE(bare.IsDeleted);
  ASSERT_NE(bare.Name, nullptr);
  EXPECT_EQ(bare.NameView(), "");

  // An attribute length of 0 or past the record's end stops the walk.
  auto zero = RecordBuilder().StandardInformation(1, 1, 1).FileName(5, u"x");
  ntfs::PutU32(&zero.Bytes()[72 + 4], 0);
  EXPECT_EQ(Decode(c, zero.Bytes()).NameView(), "");
  auto huge = RecordBuilder().StandardInformation(1, 1, 1).FileName(5, u"x");
  ntfs::PutU32(&huge.Bytes()[72 + 4], 0x7FFFFFFF);
  EXPECT_EQ(Decode(c, huge.Bytes()).CreationTime, 0);

  // A name length running past its value is not copied.
  auto longName = RecordBuilder().StandardInformation(1, 1, 1).FileName(5, u"ab");
  longName.Bytes()[72 + 96 + 24 + 64] = 200;
  EXPECT_EQ(Decode(c, longName.Bytes()).NameView(), "");

  // An attribute header cut short by the record's very end (16 bytes, after
  // an $OBJECT_ID filler): the fields past its 16th byte lie outside the
  // buffer and must not be read, whether it is a non-resident $DATA (the
  // mapping-pairs offset) or a $FILE_NAME (the value offset), in a base or
  // an extension record.
  const auto cutAtEnd = [](std::uint32_t type, bool nonResident) {
    std::vector<std::uint8_t> tail = RecordBuilder(1024, 1).StandardInformation(1, 1, 1).Bytes();
    const std::size_t filler = 72 + 96, last = 1024 - 16;
    ntfs::PutU32(&tail[filler], ntfs::attr::ObjectId);
    ntfs::PutU32(&tail[filler + 4], static_cast<std::uint32_t>(last - filler));
    ntfs::PutU32(&tail[last], type);
    ntfs::PutU32(&tail[last + 4], 16);
    tail[last + 8] = nonResident ? 1 : 0;
    return std::vector<std::uint8_t>(tail.begin(), tail.end());  // exactly the record, no slack
  };
  EXPECT_EQ(Decode(c, cutAtEnd(ntfs::attr::Data, true)).FileSize, 0u);
  const FileEntry cutName = Decode(c, cutAtEnd(ntfs::attr::FileName, false));
  EXPECT_EQ(cutName.NameView(), "");
  EXPECT_EQ(cutName.ParentRecord, 0u);
  {
    std::vector<std::uint8_t> extension = cutAtEnd(ntfs::attr::FileName, false);
    ntfs::PutU16(&extension[ntfs::rec::FirstAttribute], 72 + 96);
    FileEntry& base = c.Append();
    EXPECT_FALSE(DecodeExtensionRecord(c, base, extension, 'C'));
    EXPECT_EQ(base.NameView(), "");
  }

  // Every byte pattern in the header's first-attribute offset is safe.
  for (int first = 0; first < 256; ++first) {
    auto r = RecordBuilder().StandardInformation(1, 1, 1).FileName(5, u"y");
    ntfs::PutU16(&r.Bytes()[ntfs::rec::FirstAttribute], static_cast<std::uint16_t>(first));
    Decode(c, r.Bytes());
  }
}

TEST(RecordDecoder, RecycledNamesCountAsDeleted) {
  EXPECT_TRUE(IsRecycledName("DC12.txt", 'C'));
  EXPECT_TRUE(IsRecycledName("DC.txt", 'C'));
  EXPECT_FALSE(IsRecycledName("Dc12.txt", 'C'));
  EXPECT_FALSE(IsRecycledName("DC12", 'C'));
  EXPECT_FALSE(IsRecycledName("DC1a.txt", 'C'));
  EXPECT_FALSE(IsRecycledName("DD1.txt", 'C'));
  Catalogue c;
  FileEntry e = Decode(c, RecordBuilder(1024, 1).StandardInformation(0, 0, 0).FileName(5, u"DC12.txt").Bytes());
  EXPECT_TRUE(e.IsDeleted);
}

TEST(Fixups, RestoresEveryStretchAndFlagsTornOnes) {
  for (std::size_t size : {1024u, 4096u}) {
    RecordBuilder b(size);
    b.StandardInformation(1, 2, 3).FileName(5, u"fixed.txt");
    b.Bytes()[510] = 0x5A;
    b.Bytes()[size - 1] = 0xA5;
    auto disk = b.OnDisk();
    EXPECT_NE(disk, b.Bytes());
    EXPECT_EQ(ntfs::ApplyFixups(disk), ntfs::FixupResult::Applied);
    auto expected = b.Bytes();  // the array itself stays as stored
    std::copy(disk.begin() + 48, disk.begin() + 48 + 2 * (1 + size / 512), expected.begin() + 48);
    EXPECT_EQ(disk, expected);

    auto torn = b.OnDisk();
    torn[1022] ^= 0xFF;  // the second stretch was not written with the first
    EXPECT_EQ(ntfs::ApplyFixups(torn), ntfs::FixupResult::Mismatch);
    EXPECT_EQ(torn[510], 0x5A);  // the sound stretches are still fixed

    auto bad = b.OnDisk();
    ntfs::PutU16(&bad[ntfs::rec::UsaCount], 40);  // an array that does not fit
    const auto before = bad;
    EXPECT_EQ(ntfs::ApplyFixups(bad), ntfs::FixupResult::Invalid);
    EXPECT_EQ(bad, before);
  }
}

TEST(MappingPairs, DecodesRunsWithinTheirBounds) {
  // 0x21: 1-byte length, 2-byte offset; negative deltas; a sparse run (no offset).
  const std::vector<std::uint8_t> pairs = {0x21, 0x10, 0x00, 0x01, 0x11, 0x05, 0xF0, 0x01, 0x08, 0x00};
  std::vector<ntfs::Extent> runs;
  ASSERT_TRUE(ntfs::DecodeMappingPairs(pairs, 0, runs));
  ASSERT_EQ(runs.size(), 3u);
  EXPECT_EQ(runs[0].Lcn, 256);
  EXPECT_EQ(runs[0].Length, 16);
  EXPECT_EQ(runs[1].Lcn, 256 - 16);
  EXPECT_EQ(runs[1].Vcn, 16);
  EXPECT_TRUE(runs[2].Sparse());
  EXPECT_EQ(runs[2].Length, 8);

  ntfs::RunEntry e;
  EXPECT_FALSE(ntfs::DecodeRunEntry(std::span(pairs).first(3), e));  // cut mid-entry
  EXPECT_TRUE(e.Bad);
  const std::vector<std::uint8_t> wide = {0x19, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0};
  EXPECT_FALSE(ntfs::DecodeRunEntry(wide, e));
  EXPECT_TRUE(e.Bad);
  std::vector<ntfs::Extent> none;
  EXPECT_FALSE(ntfs::DecodeMappingPairs(std::span(pairs).first(7), 0, none));  // no end marker
  // Starts that would overflow end the list instead of wrapping.
  const std::vector<std::uint8_t> huge = {0x81, 1, 0, 0, 0, 0, 0, 0, 0, 0x7F, 0x81, 1, 0, 0, 0, 0, 0, 0, 0, 0x7F, 0};
  std::vector<ntfs::Extent> cut;
  EXPECT_FALSE(ntfs::DecodeMappingPairs(huge, 0, cut));
  EXPECT_EQ(cut.size(), 1u);
}

TEST(RecordDecoder, TakesWhatTheBaseLacksFromItsExtensionRecords) {
  Catalogue c;
  // A base record whose name and data went on into an extension record.
  FileEntry base = Decode(c, RecordBuilder().StandardInformation(1, 2, 3).Resident(attr::AttributeList, std::vector<std::uint8_t>(32)).Bytes());
  ASSERT_EQ(base.NameView(), "");
  RecordBuilder extension;
  ntfs::PutU64(&extension.Bytes()[ntfs::rec::BaseRecord], 65 | (std::uint64_t{2} << 48));
  extension.FileName(77, u"V\u00eddeo.mkv").FileName(77, u"VDEO~1.MKV", 2);
  const std::size_t piece = extension.Cursor();
  extension.NonResident(attr::Data, 1 << 20, 900000, 900000, {0x11, 4, 9, 0});
  EXPECT_EQ(BaseRecordOf(extension.Bytes()), 65u);
  EXPECT_EQ(BaseRecordOf(RecordBuilder().Bytes()), 0u);
  EXPECT_TRUE(DecodeExtensionRecord(c, base, extension.Bytes(), 'C'));
  EXPECT_EQ(base.NameView(), "V\xED" "deo.mkv");  // the long name, not the DOS one
  EXPECT_EQ(base.ParentRecord, 77u);
  EXPECT_EQ(base.FileSize, 900000u);
  EXPECT_FALSE(base.IsResident);
  EXPECT_EQ(base.DataOffset, 0u);  // its runs are found through the attribute list
  // A later piece (not VCN 0) gives no size; a base with a name keeps it.
  FileEntry named = Decode(c, RecordBuilder().StandardInformation(1, 2, 3).FileName(5, u"propio.txt").Bytes());
  ntfs::PutU64(&extension.Bytes()[piece + 16], 300);
  EXPECT_FALSE(DecodeExtensionRecord(c, named, extension.Bytes(), 'C'));
  EXPECT_EQ(named.NameView(), "propio.txt");
}

TEST(BootSector, ClusterAndRecordSizesOfEveryFormat) {
  auto boot = [](std::uint16_t sector, std::uint8_t perCluster, std::uint8_t perRecord) {
    std::vector<std::uint8_t> b(512, 0);
    std::memcpy(&b[ntfs::boot::OemId], "NTFS    ", 8);
    ntfs::PutU16(&b[ntfs::boot::BytesPerSector], sector);
    b[ntfs::boot::SectorsPerCluster] = perCluster;
    b[ntfs::boot::ClustersPerRecord] = perRecord;
    ntfs::PutU64(&b[ntfs::boot::MftLcn], 4);
    return ntfs::ParseNtfsBootSector(b);
  };
  auto b = boot(512, 8, 0xF6);  // 4 KiB clusters, 2^10-byte records
  ASSERT_TRUE(b);
  EXPECT_EQ(b->ClusterSize, 4096u);
  EXPECT_EQ(b->RecordSize, 1024u);
  b = boot(4096, 1, 0xF4);  // 4096-byte sectors and records
  ASSERT_TRUE(b);
  EXPECT_EQ(b->RecordSize, 4096u);
  b = boot(512, 0xF8, 0xF6);  // 2^8 sectors: 128 KiB clusters
  ASSERT_TRUE(b);
  EXPECT_EQ(b->ClusterSize, 128u * 1024);
  b = boot(512, 0xF4, 0xF6);  // 2 MiB clusters
  ASSERT_TRUE(b);
  EXPECT_EQ(b->ClusterSize, 2u * 1024 * 1024);
  b = boot(512, 2, 1);  // a record of one 1 KiB cluster
  ASSERT_TRUE(b);
  EXPECT_EQ(b->RecordSize, 1024u);
  EXPECT_FALSE(boot(512, 0x81, 0xF6));  // 2^127 sectors: no such volume
  EXPECT_FALSE(boot(512, 3, 0xF6));     // not a power of two
  EXPECT_FALSE(boot(1000, 8, 0xF6));
  EXPECT_FALSE(boot(512, 8, 0xE0));     // 2^32-byte records
}

}  // namespace
}  // namespace vant
