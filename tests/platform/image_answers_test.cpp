// The device answers computed from on-disk structures, on a hand-made volume
// whose $MFT is too fragmented for record 0 and goes on in an extension record.
#include <gtest/gtest.h>

#include <cstring>

#include "ntfs/layout.h"
#include "platform/image/ntfs_answers.h"
#include "tests/support/record_builder.h"

namespace vant {
namespace {

using testing::RecordBuilder;

class MemorySource : public image::ByteSource {
 public:
  explicit MemorySource(std::size_t size) : bytes(size, 0) {}
  std::vector<std::uint8_t> bytes;
  std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t count) override {
    if (offset >= bytes.size()) return 0;
    const std::size_t n = std::min<std::size_t>(count, bytes.size() - offset);
    std::memcpy(buffer, bytes.data() + offset, n);
    return n;
  }
  std::uint64_t Size() const override { return bytes.size(); }
  void Put(std::uint64_t offset, const std::vector<std::uint8_t>& data) {
    std::copy(data.begin(), data.end(), bytes.begin() + offset);
  }
};

// Sets a non-resident attribute's lowest and highest VCN (the builder leaves them 0).
void SetVcns(RecordBuilder& r, std::size_t attribute, std::int64_t lowest, std::int64_t highest) {
  ntfs::PutU64(&r.Bytes()[attribute + 16], lowest);
  ntfs::PutU64(&r.Bytes()[attribute + 24], highest);
}

std::vector<std::uint8_t> ListEntry(std::uint32_t type, std::int64_t startVcn, std::uint64_t record) {
  std::vector<std::uint8_t> e(32, 0);
  ntfs::PutU32(&e[0], type);
  ntfs::PutU16(&e[4], 32);
  ntfs::PutU64(&e[8], startVcn);
  ntfs::PutU64(&e[16], record | (std::uint64_t{1} << 48));
  return e;
}

TEST(ImageAnswers, FollowTheMftIntoItsExtensionRecords) {
  constexpr std::uint64_t kCluster = 4096;
  MemorySource disk(64 * kCluster);
  std::vector<std::uint8_t> boot(512, 0);
  std::memcpy(&boot[ntfs::boot::OemId], "NTFS    ", 8);
  ntfs::PutU16(&boot[ntfs::boot::BytesPerSector], 512);
  boot[ntfs::boot::SectorsPerCluster] = 8;
  ntfs::PutU64(&boot[ntfs::boot::TotalSectors], 64 * 8);
  ntfs::PutU64(&boot[ntfs::boot::MftLcn], 4);
  boot[ntfs::boot::ClustersPerRecord] = 0xF6;
  disk.Put(0, boot);

  // Record 0: VCNs 0-1 at cluster 4; its attribute list sends VCN 2 on to record 3.
  std::vector<std::uint8_t> list;
  for (auto e : {ListEntry(ntfs::attr::StandardInformation, 0, 0), ListEntry(ntfs::attr::Data, 0, 0),
                 ListEntry(ntfs::attr::Data, 2, 3)})
    list.insert(list.end(), e.begin(), e.end());
  RecordBuilder mft;
  mft.StandardInformation(0, 0, 0).Resident(ntfs::attr::AttributeList, list);
  const std::size_t piece0 = mft.Cursor();
  mft.NonResident(ntfs::attr::Data, 5 * kCluster, 5 * kCluster, 5 * kCluster, {0x11, 2, 4, 0});
  SetVcns(mft, piece0, 0, 1);
  disk.Put(4 * kCluster, mft.OnDisk());
  // Record 3, the extension: VCNs 2-3 at cluster 20, VCN 4 at cluster 40.
  RecordBuilder extension;
  const std::size_t piece1 = extension.Cursor();
  extension.NonResident(ntfs::attr::Data, 0, 0, 0, {0x11, 2, 20, 0x11, 1, 20, 0});
  SetVcns(extension, piece1, 2, 4);
  disk.Put(4 * kCluster + 3 * 1024, extension.OnDisk());

  image::NtfsAnswers answers(disk);
  ASSERT_TRUE(answers.IsNtfs());
  struct Run {
    std::int64_t vcn, next, lcn;
    bool operator==(const Run&) const = default;
  };
  std::vector<Run> runs;
  std::int64_t vcn = 0;
  for (int guard = 0; guard < 10; ++guard) {
    std::uint8_t in[8], out[ioctl::RetrievalPointersSize];
    ntfs::PutU64(in, static_cast<std::uint64_t>(vcn));
    const IoResult r = answers.Answer(ioctl::GetRetrievalPointers, in, sizeof in, out, sizeof out);
    if (!r.Ok() && !r.MoreData()) break;
    runs.push_back({ntfs::GetI64(out + ioctl::RetrievalStartingVcn), ntfs::GetI64(out + ioctl::RetrievalFirstNextVcn),
                    ntfs::GetI64(out + ioctl::RetrievalFirstLcn)});
    vcn = runs.back().next;
    if (r.Ok()) break;
  }
  EXPECT_EQ(runs, (std::vector<Run>{{0, 2, 4}, {2, 4, 20}, {4, 5, 40}}));

  // An extension record that is not there leaves the first piece, nothing invented.
  std::fill_n(disk.bytes.begin() + 4 * kCluster + 3 * 1024, 1024, 0);
  image::NtfsAnswers broken(disk);
  ASSERT_TRUE(broken.IsNtfs());
  EXPECT_EQ(broken.MftExtents().size(), 1u);
}

}  // namespace
}  // namespace vant
