// Copies of a fixture volume whose size fields claim more than the image
// holds: every command ends, reads only what is really there, and says what
// an undamaged copy says wherever the damage does not reach.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>

#include "ntfs/layout.h"
#include "platform/image/image_volume.h"
#include "tests/support/peers.h"

namespace vant {
namespace {

using namespace vant::testing;
namespace fs = std::filesystem;

// A command that hangs fails here instead of holding the suite for hours.
std::optional<std::string> Vant(const std::string& args) {
  return RunCommand("timeout 300 " + std::string(VANT_CLI) + " " + args + " 2>&1");
}

class DamagedCopy {
 public:
  explicit DamagedCopy(const std::string& fixture) {
    std::ifstream in(FixturePath(fixture), std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    path = (fs::temp_directory_path() / ("vant-hostile-" + std::to_string(::getpid()) + "-" + fixture)).string();
  }
  ~DamagedCopy() { fs::remove(path); }
  void Write(std::size_t length = SIZE_MAX) const {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(std::min(length, bytes.size())));
  }
  std::uint64_t ClusterSize() const { return std::uint64_t(ntfs::GetU16(&bytes[11])) * bytes[13]; }
  std::uint64_t MftStart() const { return ntfs::GetU64(&bytes[ntfs::boot::MftLcn]) * ClusterSize(); }
  // The offset of a record's first attribute of `type`.
  std::size_t Attribute(std::uint64_t record, std::uint32_t type) const {
    const std::size_t at = MftStart() + record * 1024;
    for (std::size_t a = at + ntfs::GetU16(&bytes[at + ntfs::rec::FirstAttribute]); a < at + 1024;) {
      if (ntfs::GetU32(&bytes[a]) == type) return a;
      if (ntfs::GetU32(&bytes[a]) == 0xFFFFFFFF || ntfs::GetU32(&bytes[a + 4]) == 0) break;
      a += ntfs::GetU32(&bytes[a + 4]);
    }
    ADD_FAILURE() << "record " << record << " has no attribute " << type;
    return 0;
  }
  // Patching a field that shares no byte with the update sequence's slots
  // keeps the record valid, so the value reaches the decoders.
  void Put64(std::size_t at, std::uint64_t value) {
    const std::size_t inSector = at % 512;
    ASSERT_TRUE(inSector + 8 <= 510) << "field over a fix-up slot";
    ntfs::PutU64(&bytes[at], value);
  }
  std::vector<std::uint8_t> bytes;
  std::string path;
};

std::string Unpathed(std::string text, const std::string& path) {
  for (std::size_t at; (at = text.find(path)) != std::string::npos;) text.replace(at, path.size(), "IMAGE");
  return text;
}

TEST(HostileVolume, TotalSectorsBeyondTheImageAreNotCounted) {
  DamagedCopy copy("c4k.img");
  const std::string original = FixturePath("c4k.img");
  copy.bytes[47] = 0x10;  // the top byte of the total-sectors field: 2^60 bytes
  copy.Write();

  // The device answers what the image really holds.
  std::uint32_t error = 0;
  auto volume = image::OpenVolume(copy.path, -1, error);
  auto sound = image::OpenVolume(original, -1, error);
  ASSERT_TRUE(volume && sound);
  std::uint8_t answer[ioctl::NtfsVolumeDataSize], expected[ioctl::NtfsVolumeDataSize];
  ASSERT_TRUE(volume->Control(ioctl::GetNtfsVolumeData, nullptr, 0, answer, sizeof answer).Ok());
  ASSERT_TRUE(sound->Control(ioctl::GetNtfsVolumeData, nullptr, 0, expected, sizeof expected).Ok());
  // At most every cluster of the image (the sound volume leaves the last
  // one, its backup boot sector, out of its count).
  const std::uint64_t held = copy.bytes.size() / copy.ClusterSize();
  const std::uint64_t total = ntfs::GetU64(answer + ioctl::NtfsTotalClusters);
  EXPECT_LE(total, held);
  EXPECT_GE(total, ntfs::GetU64(expected + ioctl::NtfsTotalClusters));
  EXPECT_LE(ntfs::GetU64(answer + ioctl::NtfsFreeClusters), ntfs::GetU64(expected + ioctl::NtfsFreeClusters) + 1);
  EXPECT_LE(ntfs::GetU64(answer + ioctl::NtfsNumberSectors), copy.bytes.size() / 512);
  std::uint8_t in[8], bitmap[ioctl::VolumeBitmapSize];
  ntfs::PutU64(in, held);
  EXPECT_FALSE(volume->Control(ioctl::GetVolumeBitmap, in, sizeof in, bitmap, sizeof bitmap).Ok());

  // Every command ends and says what it says of the undamaged volume.
  for (const std::string command : {"scan", "tree", "search"}) {
    const std::string extra = command == "search" ? " borrado" : "";
    const auto damaged = Vant(command + " " + Quote(copy.path) + extra);
    const auto intact = Vant(command + " " + Quote(original) + extra);
    ASSERT_TRUE(damaged && intact) << command;
    EXPECT_EQ(Unpathed(*damaged, copy.path), Unpathed(*intact, original)) << command;
  }
  const fs::path out = fs::temp_directory_path() / ("vant-hostile-out-" + std::to_string(::getpid()));
  const auto recovered = Vant("recover " + Quote(copy.path) + " --all-deleted -o " + Quote(out.string()));
  fs::remove_all(out);
  ASSERT_TRUE(recovered);
  EXPECT_NE(recovered->find("borrado"), std::string::npos);
}

TEST(HostileVolume, MftSizesBeyondItsExtentsAreNotRead) {
  DamagedCopy copy("c4k.img");
  const std::string original = FixturePath("c4k.img");
  const auto intact = Vant("scan " + Quote(original));
  ASSERT_TRUE(intact);

  // Record 0 claiming a $MFT of 2^40 bytes: a billion records that are not
  // there (the catalogue must not be made for them).
  const std::size_t data = copy.Attribute(0, ntfs::attr::Data);
  for (std::size_t field : {ntfs::attr::AllocatedSize, ntfs::attr::DataSize, ntfs::attr::InitializedSize})
    copy.Put64(data + field, std::uint64_t{1} << 40);
  copy.Write();
  const auto damaged = Vant("scan " + Quote(copy.path));
  ASSERT_TRUE(damaged);
  // Every record after $MFT's own line reads as on the sound volume.
  const auto fromRecord1 = [](const std::string& text) { return text.substr(text.find("\n1\t")); };
  EXPECT_EQ(fromRecord1(*damaged), fromRecord1(*intact));

  // An image cut inside the $MFT: the records before the cut are read, and
  // none is asked for past the end.
  DamagedCopy cut("c4k.img");
  const std::uint64_t records = 100;
  cut.Write(cut.MftStart() + records * 1024);
  const auto shortScan = Vant("scan " + Quote(cut.path));
  ASSERT_TRUE(shortScan);
  EXPECT_NE(shortScan->find("vant: " + std::to_string(records) + " records read\n"), std::string::npos) << *shortScan;
  for (const std::string command : {"tree", "search x"})
    EXPECT_TRUE(Vant(command.substr(0, command.find(' ')) + " " + Quote(cut.path) +
                     (command.find(' ') != std::string::npos ? command.substr(command.find(' ')) : "")))
        << command;
}

TEST(HostileVolume, AFileClaimingMoreThanTheVolumeIsCutAtItsSize) {
  DamagedCopy copy("c4k.img");
  const auto manifest = LoadManifest(FixturePath("c4k.tsv"));
  const ManifestRow* victim = FindByPath(manifest, "plain/borrado.bin");
  ASSERT_TRUE(victim && victim->Deleted && !victim->Resident);
  // 2^50 bytes in one hole of 2^39 clusters: only zeros, and far too many.
  const std::size_t data = copy.Attribute(victim->Record, ntfs::attr::Data);
  for (std::size_t field : {ntfs::attr::AllocatedSize, ntfs::attr::DataSize, ntfs::attr::InitializedSize})
    copy.Put64(data + field, std::uint64_t{1} << 50);
  const std::size_t pairs = data + ntfs::GetU16(&copy.bytes[data + ntfs::attr::MappingPairsOffset]);
  ASSERT_LE(pairs + 8, data + ntfs::GetU32(&copy.bytes[data + 4]));
  copy.Put64(pairs, 0x0000'0080'0000'0000ull << 8 | 0x06);  // header 0x06: a 6-byte length, no offset; then the end
  copy.Write();

  const fs::path out = fs::temp_directory_path() / ("vant-hostile-cut-" + std::to_string(::getpid()));
  const auto said = Vant("recover " + Quote(copy.path) + " " + std::to_string(victim->Record) + " -o " + Quote(out.string()));
  std::uintmax_t size = 0;
  for (const auto& e : fs::recursive_directory_iterator(out))
    if (e.is_regular_file()) size += e.file_size();
  fs::remove_all(out);
  ASSERT_TRUE(said);
  EXPECT_LE(size, copy.bytes.size());
  EXPECT_GT(size, 0u);
  EXPECT_NE(said->find("volume"), std::string::npos) << *said;
}

}  // namespace
}  // namespace vant
