// INDX blocks built byte by byte: which keys outside the used part are
// believed, and what is read from them.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "ntfs/index_remnants.h"
#include "ntfs/layout.h"

namespace vant {
namespace {

using ntfs::PutU16;
using ntfs::PutU32;
using ntfs::PutU64;

constexpr std::uint64_t kFolder = 64;
constexpr std::int64_t kDay = 24LL * 3600 * 10'000'000;
constexpr std::int64_t kJan2025 = 133'801'632'000'000'000;  // 1 January 2025
constexpr std::int64_t kJan2026 = 134'117'184'000'000'000;  // 1 January 2026
constexpr std::size_t kBlock = 4096;
constexpr std::size_t kSlackKey = 0x400;       // a key in the slack, its entry header 16 bytes before

struct Key {
  std::uint64_t Parent = kFolder | (std::uint64_t{2} << 48);
  std::int64_t Time = kJan2025;
  std::uint64_t Allocated = 4096, Real = 100;
  std::u16string Name = u"informe.txt";
  std::uint8_t NameLength = 11;  // units the key claims
  std::uint8_t Namespace = 1;
  std::uint64_t Reference = 300 | (std::uint64_t{7} << 48);
  std::uint16_t KeyLength = 66 + 22;
};

void PutKey(std::vector<std::uint8_t>& block, std::size_t at, const Key& k) {
  std::uint8_t* e = &block[at - 16];
  PutU64(e, k.Reference);
  PutU16(e + 8, static_cast<std::uint16_t>((16 + k.KeyLength + 7) / 8 * 8));
  PutU16(e + 10, k.KeyLength);
  std::uint8_t* key = &block[at];
  PutU64(key, k.Parent);
  for (int t = 0; t < 4; ++t) PutU64(key + 8 + 8 * t, static_cast<std::uint64_t>(k.Time + t));
  PutU64(key + 40, k.Allocated);
  PutU64(key + 48, k.Real);
  key[64] = k.NameLength;
  key[65] = k.Namespace;
  for (std::size_t i = 0; i < k.Name.size() && at + 66 + 2 * i + 1 < block.size(); ++i) PutU16(key + 66 + 2 * i, k.Name[i]);
}

// An INDX block of one live entry and the end marker, `key` put at `keyAt`,
// its sectors' last two bytes moved into the update-sequence array as a
// writer does.
std::vector<std::uint8_t> Block(const Key& key, std::size_t keyAt, bool tornSector = false) {
  std::vector<std::uint8_t> b(kBlock, 0);
  std::memcpy(b.data(), "INDX", 4);
  PutU16(&b[4], 0x28);
  PutU16(&b[6], 1 + kBlock / 512);
  PutU32(&b[0x18], 0x28);             // entries at 0x40
  PutU32(&b[0x1C], 0x100);            // used part
  PutU32(&b[0x20], kBlock - 0x18);    // allocated
  Key live;
  live.Name = u"vivo.txt";
  live.NameLength = 8;
  live.KeyLength = 66 + 16;
  live.Reference = 200 | (std::uint64_t{1} << 48);
  PutKey(b, 0x50, live);
  PutU16(&b[0x40 + 0x68 + 12], 2);    // the end marker after it
  PutU16(&b[0x40 + 0x68 + 8], 16);
  PutKey(b, keyAt, key);
  PutU16(&b[0x28], 0x0042);
  for (std::size_t s = 1; s <= kBlock / 512; ++s) {
    std::uint8_t* tail = &b[s * 512 - 2];
    std::memcpy(&b[0x28 + 2 * s], tail, 2);
    PutU16(tail, tornSector && s == 3 ? 0x0099 : 0x0042);
  }
  return b;
}

const IndexKeyRules kRules{kFolder, 64ull << 20, kJan2026 + 40 * kDay, 1000};

TEST(IndexBlock, KeysOutsideTheUsedPartAreKeptOnlyWhenConsistent) {
  struct Case {
    const char* What;
    std::function<void(Key&)> Change;
    std::size_t At = kSlackKey;
    bool InUse = true;
    bool Found;
    bool Referenced = true;
  };
  const Case cases[] = {
      {"a key of 2025 on a volume whose newest time is in 2026", [](Key&) {}, kSlackKey, true, true},
      {"a time more than a year past the volume's newest", [](Key& k) { k.Time = kJan2026 + 40 * kDay + 400 * kDay; },
       kSlackKey, true, false},
      {"a time before 1980", [](Key& k) { k.Time = 100'000'000'000'000'000; }, kSlackKey, true, false},
      {"another folder's key", [](Key& k) { k.Parent = 65 | (std::uint64_t{2} << 48); }, kSlackKey, true, false},
      {"a name cut by the block's end", [](Key& k) { k.NameLength = 40; }, kBlock - 96, true, false},
      {"a name of no units", [](Key& k) { k.NameLength = 0; }, kSlackKey, true, false},
      {"a slash in the name", [](Key& k) { k.Name = u"infor/e.txt"; }, kSlackKey, true, false},
      {"a namespace past 3", [](Key& k) { k.Namespace = 4; }, kSlackKey, true, false},
      {"allocated below real", [](Key& k) { k.Allocated = 10; }, kSlackKey, true, false},
      {"a size past the volume", [](Key& k) { k.Allocated = k.Real = 1ull << 40; }, kSlackKey, true, false},
      {"an entry header that does not fit the key", [](Key& k) { k.KeyLength = 200; }, kSlackKey, true, true, false},
      {"a reference an end marker overwrote", [](Key& k) { k.Reference = 0x0000000200000010; }, kSlackKey, true, true, false},
      {"a key in the used part of a block in use", [](Key&) {}, 0x100, true, false},
      {"a key in the used part of a free block", [](Key&) {}, 0x100, false, true},
  };
  for (const Case& c : cases) {
    Key key;
    c.Change(key);
    std::vector<std::uint8_t> block = Block(key, c.At);
    const IndexBlockScan scan = ScanIndexBlock(block, c.InUse, kRules);
    ASSERT_TRUE(scan.Valid) << c.What;
    std::vector<IndexRemnant> wanted;
    for (const IndexRemnant& r : scan.Keys)
      if (r.Name != u"vivo.txt") wanted.push_back(r);
    ASSERT_EQ(wanted.size(), c.Found ? 1u : 0u) << c.What;
    if (!c.Found) continue;
    const IndexRemnant& r = wanted[0];
    EXPECT_EQ(r.Name, key.Name) << c.What;
    EXPECT_EQ(r.FromFreeBlock, !c.InUse) << c.What;
    EXPECT_EQ(r.HasReference, c.Referenced) << c.What;
    if (c.Referenced) {
      EXPECT_EQ(r.Record, 300u) << c.What;
      EXPECT_EQ(r.Sequence, 7u) << c.What;
    }
    EXPECT_EQ(r.Folder, kFolder);
    EXPECT_EQ(r.RealSize, 100u);
    EXPECT_EQ(r.CreationTime, key.Time);
    EXPECT_EQ(r.AccessTime, key.Time + 3);
  }
}

TEST(IndexBlock, UsedPartIsReadAsLiveAndATornSectorIsToleratedAndNoted) {
  Key key;
  std::vector<std::uint8_t> block = Block(key, kSlackKey, /*tornSector=*/true);
  const IndexBlockScan scan = ScanIndexBlock(block, true, kRules);
  ASSERT_TRUE(scan.Valid);
  EXPECT_TRUE(scan.FixupMismatch);
  ASSERT_EQ(scan.Live.size(), 1u);
  EXPECT_EQ(scan.Live[0].first, 200u);
  EXPECT_EQ(scan.Live[0].second, u"vivo.txt");
  ASSERT_EQ(scan.Keys.size(), 1u);
  EXPECT_EQ(scan.Keys[0].Name, u"informe.txt");

  block = Block(key, kSlackKey);
  block[0] = 'X';
  EXPECT_FALSE(ScanIndexBlock(block, false, kRules).Valid);
  block = Block(key, kSlackKey);
  PutU32(&block[0x1C], kBlock);  // used past allocated
  EXPECT_FALSE(ScanIndexBlock(block, true, kRules).Valid);
}

}  // namespace
}  // namespace vant
