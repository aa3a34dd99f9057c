// The scan on volumes made by ntfs-3g, checked against the builder's
// manifest, against The Sleuth Kit, and against the raw bytes.
#include <gtest/gtest.h>

#include <fstream>
#include <set>

#include "cli/session.h"
#include "ntfs/layout.h"
#include "ntfs/record_decoder.h"
#include "ntfs/mft_scan.h"
#include "platform/headless/headless_system.h"
#include "platform/image/image_volume.h"
#include "tests/support/peers.h"

namespace vant {
namespace {

using namespace vant::testing;

struct Volume {
  std::string name;
  std::uint64_t sectorOffset;  // where fls finds the volume
};

std::uint32_t RecordNumberAt(const std::string& image, std::uint64_t offset) {
  std::ifstream in(image, std::ios::binary);
  in.seekg(static_cast<std::streamoff>(offset));
  std::uint8_t head[48] = {};
  in.read(reinterpret_cast<char*>(head), sizeof head);
  if (std::string_view(reinterpret_cast<char*>(head), 4) != "FILE") return ~0u;
  return ntfs::GetU32(head + 44);
}

TEST(VolumeScan, CatalogueAgreesWithTheBuilderAndTheSleuthKit) {
  for (const Volume& v : {Volume{"c512", 0}, Volume{"c4k", 0}, Volume{"c64k", 0}, Volume{"r4k", 0},
                          Volume{"mbr", 2048}, Volume{"gpt", 2048}}) {
    SCOPED_TRACE(v.name);
    const std::string image = FixturePath(v.name + ".img");
    cli::Session session({image});
    ASSERT_TRUE(session.Analyse('C'));
    const Catalogue& catalogue = session.Form->Entries();
    const ScanStats& stats = session.Form->LastScan();
    EXPECT_EQ(stats.UnreadableRecords, 0u);
    EXPECT_EQ(stats.FixupMismatches, 0u);

    // Every slot of the MFT, and nothing more.
    const auto allocation = IlsAllocation(image, v.sectorOffset);
    ASSERT_FALSE(allocation.empty());
    // ils ends with one entry past the MFT: The Sleuth Kit's virtual folder of orphan files.
    EXPECT_EQ(catalogue.Count(), allocation.rbegin()->first);
    std::size_t checkedState = 0;
    for (auto [record, allocated] : allocation) {
      if (record >= catalogue.Count()) continue;
      const FileEntry& e = catalogue.At(record);
      EXPECT_EQ(e.RecordNumber, record);
      if (!e.IsBaseRecord) continue;
      const bool recycled = IsRecycledName(e.NameView(), 'C');
      EXPECT_EQ(e.IsDeleted, !allocated || recycled) << record << " " << e.NameView();
      ++checkedState;
    }
    EXPECT_GT(checkedState, 30u);

    // Names, parents, kinds and sizes as fls sees them. A record may have
    // several names (hard links, DOS names): ours must be one of them.
    std::map<std::string, std::uint64_t> folderOf;
    const auto names = Fls(image, v.sectorOffset);
    ASSERT_GT(names.size(), 30u);
    for (const auto& n : names)
      if (n.Directory) folderOf[n.Path] = n.Record;
    std::map<std::uint64_t, std::set<std::pair<std::string, std::uint64_t>>> namesOf;
    for (const auto& n : names) {
      if (n.Record >= catalogue.Count()) continue;  // the virtual orphan folder
      const auto slash = n.Path.rfind('/');
      const std::uint64_t parent = slash == std::string::npos ? 5 : folderOf.count(n.Path.substr(0, slash)) ? folderOf[n.Path.substr(0, slash)] : ~0ull;
      // An orphan without a name of its own gets one made up by fls.
      const bool madeUp = n.Orphan && n.Name().rfind("OrphanFile-", 0) == 0;
      namesOf[n.Record].insert({madeUp ? std::string() : LowBytes(n.Name()), n.Orphan ? ~0ull : parent});
      const FileEntry& e = catalogue.At(n.Record);
      ASSERT_TRUE(e.IsBaseRecord) << n.Path;
      EXPECT_EQ(e.IsDirectory, n.Directory) << n.Path;
      EXPECT_EQ(e.IsDeleted, n.Deleted || IsRecycledName(e.NameView(), 'C')) << n.Path;
      if (!n.Directory) {
        EXPECT_EQ(e.FileSize, n.Size) << n.Path;
      }
    }
    for (const auto& [record, known] : namesOf) {
      if (record == 5) continue;  // the root's "." is the drive's name here
      const FileEntry& e = catalogue.At(record);
      const std::string name = e.NameView() == "PAPELERA" ? "RECYCLER" : std::string(e.NameView());
      bool found = false;
      for (const auto& [n, parent] : known) found |= n == name && (parent == ~0ull || parent == e.ParentRecord);
      EXPECT_TRUE(found) << "record " << record << " named " << name << " under " << e.ParentRecord;
    }

    // What the builder wrote, and every record where the scan says it is.
    const auto manifest = LoadManifest(FixturePath(v.name + ".tsv"));
    ASSERT_GT(manifest.size(), 40u);
    for (const auto& m : manifest) {
      ASSERT_LT(m.Record, catalogue.Count()) << m.Path;
      const FileEntry& e = catalogue.At(m.Record);
      EXPECT_EQ(e.IsDeleted, m.Deleted || IsRecycledName(e.NameView(), 'C')) << m.Path;
      EXPECT_EQ(e.IsDirectory, m.Directory) << m.Path;
      if (!m.Directory) {
        EXPECT_EQ(e.FileSize, m.Size) << m.Path;
        EXPECT_EQ(e.IsResident, m.Resident) << m.Path;
      }
      EXPECT_EQ(RecordNumberAt(image, v.sectorOffset * 512 + e.RecordOffset), m.Record) << m.Path;
    }
    // The last record of the MFT too: offsets stay exact across its fragments.
    const std::size_t last = catalogue.Count() - 1;
    if (catalogue.At(last).IsBaseRecord) {
      EXPECT_EQ(RecordNumberAt(image, v.sectorOffset * 512 + catalogue.At(last).RecordOffset), last);
    }
  }
}

TEST(VolumeScan, WholeDiskImagesOfferTheirPartitions) {
  for (const char* name : {"mbr", "gpt"}) {
    std::uint32_t error = 0;
    const auto parts = image::ListPartitions(FixturePath(std::string(name) + ".img"), error);
    ASSERT_EQ(parts.size(), 1u) << name;
    EXPECT_EQ(parts[0].Offset, 1u << 20) << name;
    EXPECT_EQ(parts[0].FileSystem, "NTFS") << name;
  }
  std::uint32_t error = 0;
  const auto bare = image::ListPartitions(FixturePath("c4k.img"), error);
  ASSERT_EQ(bare.size(), 1u);
  EXPECT_EQ(bare[0].Offset, 0u);
  EXPECT_EQ(image::FileSystemName(FixturePath("fat32.img"), -1), "FAT32");
  // A FAT volume fails the NTFS requests as the driver does.
  auto fat = image::OpenVolume(FixturePath("fat32.img"), -1, error);
  ASSERT_TRUE(fat);
  std::uint8_t out[ioctl::NtfsVolumeDataSize];
  EXPECT_FALSE(fat->Control(ioctl::GetNtfsVolumeData, nullptr, 0, out, sizeof out).Ok());
  EXPECT_FALSE(image::OpenMft(FixturePath("fat32.img"), -1, error));
  // Nothing there at all.
  EXPECT_FALSE(image::OpenVolume(FixturePath("no-such.img"), -1, error));
  EXPECT_EQ(error, error_code::FileNotFound);
}

TEST(VolumeScan, MftExtentsMatchTheSleuthKit) {
  // istat lists record 0's $DATA clusters; our answers must give the same runs.
  const std::string image = FixturePath("c4k.img");
  auto istat = RunCommand("istat " + Quote(image) + " 0");
  ASSERT_TRUE(istat);
  const auto data = istat->find("Type: $DATA");
  ASSERT_NE(data, std::string::npos);
  std::vector<std::int64_t> clusters;
  std::istringstream in(istat->substr(istat->find('\n', data)));
  for (std::string word; in >> word && std::isdigit(static_cast<unsigned char>(word[0]));) clusters.push_back(std::stoll(word));
  ASSERT_FALSE(clusters.empty());

  std::uint32_t error = 0;
  auto mft = image::OpenMft(image, -1, error);
  ASSERT_TRUE(mft);
  std::vector<std::int64_t> ours;
  std::int64_t vcn = 0;
  int answers = 0;
  for (;;) {
    std::uint8_t in8[8], out[ioctl::RetrievalPointersSize];
    ntfs::PutU64(in8, static_cast<std::uint64_t>(vcn));
    const IoResult r = mft->Control(ioctl::GetRetrievalPointers, in8, sizeof in8, out, sizeof out);
    if (!r.Ok() && !r.MoreData()) break;
    ++answers;
    EXPECT_EQ(ntfs::GetU32(out + ioctl::RetrievalExtentCount), 1u);
    const std::int64_t start = ntfs::GetI64(out + ioctl::RetrievalStartingVcn);
    const std::int64_t next = ntfs::GetI64(out + ioctl::RetrievalFirstNextVcn);
    const std::int64_t lcn = ntfs::GetI64(out + ioctl::RetrievalFirstLcn);
    for (std::int64_t c = 0; c < next - start; ++c) ours.push_back(lcn + c);
    vcn = next;
    if (r.Ok()) break;
  }
  EXPECT_GE(answers, 3);  // the builder fragments the $MFT
  ours.resize(std::min(ours.size(), clusters.size()));
  EXPECT_EQ(ours, clusters);
}

}  // namespace
}  // namespace vant

namespace vant {
namespace {

// A volume whose medium fails in one stretch, like a bad sector.
class DamagedVolume : public VolumeDevice {
 public:
  DamagedVolume(std::unique_ptr<VolumeDevice> inner, std::uint64_t badFrom, std::uint64_t badTo)
      : inner_(std::move(inner)), from_(badFrom), to_(badTo) {}
  int Reads = 0;
  bool Seek(std::uint64_t offset) override { return inner_->Seek(offset); }
  std::uint64_t Position() const override { return inner_->Position(); }
  std::size_t Read(void* buffer, std::size_t count) override {
    ++Reads;
    const std::uint64_t at = inner_->Position();
    if (at < to_ && at + count > from_) {
      // What lies before the bad stretch is read; then the medium fails.
      const std::size_t good = at < from_ ? static_cast<std::size_t>(from_ - at) : 0;
      const std::size_t n = good ? inner_->Read(buffer, good) : 0;
      error_ = error_code::Crc;
      return n;
    }
    error_ = 0;
    return inner_->Read(buffer, count);
  }
  IoResult Control(std::uint32_t code, const void* in, std::size_t inSize, void* out, std::size_t outSize) override {
    return inner_->Control(code, in, inSize, out, outSize);
  }
  std::uint32_t LastError() const override { return error_ ? error_ : inner_->LastError(); }

 private:
  std::unique_ptr<VolumeDevice> inner_;
  std::uint64_t from_, to_;
  std::uint32_t error_ = 0;
};

struct CountingScan : ScanObserver {
  VolumeContext* context = nullptr;
  Catalogue* catalogue = nullptr;
  std::size_t cancelAt = SIZE_MAX, countAtCancel = 0;
  int discarded = 0, pumps = 0;
  void Pump() override {
    ++pumps;
    if (catalogue->Count() >= cancelAt && !context->CancelRequested) {
      context->CancelRequested = true;
      countAtCancel = catalogue->Count();
    }
  }
  bool CancelRequested() const override { return context->CancelRequested; }
  void DiscardCatalogue() override {
    ++discarded;
    countAtCancel = catalogue->Count() - countAtCancel;  // records taken after the flag was set
    catalogue->Clear();
  }
};

ScanStats Scan(const std::string& image, Catalogue& catalogue, CountingScan& observer, std::uint64_t badFrom = 0,
               std::uint64_t badTo = 0) {
  std::uint32_t error = 0;
  VolumeContext context;
  context.DriveLetter = 'C';
  context.VolumeHandle = std::make_unique<DamagedVolume>(image::OpenVolume(image, -1, error), badFrom, badTo);
  context.MftHandle = image::OpenMft(image, -1, error);
  observer.context = &context;
  observer.catalogue = &catalogue;
  headless::System system;
  return ScanMft(context, catalogue, observer, system);
}

TEST(VolumeScan, AnUnreadableRecordCostsOnlyThatRecord) {
  const std::string image = FixturePath("c4k.img");
  Catalogue clean, damaged;
  CountingScan a, b;
  const ScanStats good = Scan(image, clean, a);
  ASSERT_GT(clean.Count(), 300u);
  // Record 200's first sector cannot be read.
  const std::uint64_t bad = clean.At(200).RecordOffset;
  const ScanStats hurt = Scan(image, damaged, b, bad + 100, bad + 101);
  EXPECT_EQ(good.UnreadableRecords, 0u);
  EXPECT_EQ(hurt.UnreadableRecords, 1u);
  ASSERT_EQ(damaged.Count(), clean.Count());
  for (std::size_t i = 0; i < clean.Count(); ++i) {
    EXPECT_EQ(damaged.At(i).RecordOffset, clean.At(i).RecordOffset) << i;
    if (i == 200) {
      EXPECT_FALSE(damaged.At(i).IsBaseRecord);
      continue;
    }
    EXPECT_EQ(damaged.At(i).IsBaseRecord, clean.At(i).IsBaseRecord) << i;
    EXPECT_EQ(damaged.At(i).NameView(), clean.At(i).NameView()) << i;
    EXPECT_EQ(damaged.At(i).FileSize, clean.At(i).FileSize) << i;
  }
}

TEST(VolumeScan, StopsWithinOneRecordOfTheCancel) {
  Catalogue catalogue;
  CountingScan observer;
  // Pressed at the first processing of messages after the scan's first
  // record: by time, or at the latest after 16,384 of its 20,085 records.
  observer.cancelAt = 2;
  Scan(FixturePath("many.img"), catalogue, observer);
  EXPECT_EQ(observer.discarded, 1);
  EXPECT_EQ(catalogue.Count(), 0u);
  EXPECT_LE(observer.countAtCancel, 1u);
  EXPECT_GE(observer.pumps, 2);
}

}  // namespace
}  // namespace vant
