#include "ntfs/recycle_bin.h"

#include <gtest/gtest.h>

#include "ntfs/layout.h"

namespace vant {
namespace {

using ntfs::PutU32;
using ntfs::PutU64;

std::vector<std::uint8_t> Info(std::uint64_t version, std::u16string_view path, std::size_t fixedUnits = 260) {
  std::vector<std::uint8_t> v(version == 1 ? 24 + 2 * fixedUnits : 28 + 2 * (path.size() + 1), 0);
  PutU64(&v[0], version);
  PutU64(&v[8], 1234);
  PutU64(&v[16], 133541318490000000);
  const std::size_t at = version == 1 ? 24 : 28;
  if (version != 1) PutU32(&v[24], static_cast<std::uint32_t>(path.size() + 1));
  for (std::size_t i = 0; i < path.size() && at + 2 * i + 1 < v.size(); ++i) ntfs::PutU16(&v[at + 2 * i], path[i]);
  return v;
}

TEST(RecycleBin, DecodesBothInfoVersionsAndRefusesTheRest) {
  auto v1 = Info(1, u"C:\\Users\\Ana\\Informe.docx");
  auto v2 = Info(2, u"\\\\servidor\\datos\\Canción.txt");
  auto cut = v1;
  cut.resize(400);
  auto overrun = v2;
  PutU32(&overrun[24], 1000);
  auto zeroCount = v2;
  PutU32(&zeroCount[24], 0);
  auto unterminated = v2;
  ntfs::PutU16(&unterminated[unterminated.size() - 2], u'x');
  auto fullField = Info(1, std::u16string(260, u'a'));  // no room left for the NUL
  auto v3 = v2;
  PutU64(&v3[0], 3);
  const struct {
    const char* what;
    std::vector<std::uint8_t> bytes;
    std::u16string path;  // empty: refused
  } cases[] = {
      {"version 1", v1, u"C:\\Users\\Ana\\Informe.docx"},
      {"version 2, a network path", v2, u"\\\\servidor\\datos\\Canción.txt"},
      {"version 1 cut short", cut, u""},
      {"count past the value", overrun, u""},
      {"count of zero", zeroCount, u""},
      {"no terminator", unterminated, u""},
      {"fixed field without a NUL", fullField, u""},
      {"unknown version", v3, u""},
      {"relative path", Info(2, u"Users\\Ana\\x.txt"), u""},
      {"too short for any header", std::vector<std::uint8_t>(27, 1), u""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const auto origin = DecodeRecycleInfo(c.bytes);
    ASSERT_EQ(origin.has_value(), !c.path.empty());
    if (!origin) continue;
    EXPECT_EQ(origin->Path, c.path);
    EXPECT_EQ(origin->Size, 1234u);
    EXPECT_EQ(origin->DeletionTime, 133541318490000000);
  }
  EXPECT_EQ(DecodeRecycleInfo(v1)->Leaf(), u"Informe.docx");
  EXPECT_EQ(DecodeRecycleInfo(v2)->Leaf8(), "Canci\xF3n.txt");
}

TEST(RecycleBin, ReadsInfo2RecordsOfTheRightSize) {
  std::vector<std::uint8_t> info2(20 + 3 * 800, 0);
  PutU32(&info2[12], 800);
  auto record = [&](std::size_t k, std::uint32_t index, std::uint32_t drive, std::string_view ansi, std::u16string_view wide) {
    std::uint8_t* r = &info2[20 + 800 * k];
    for (std::size_t i = 0; i < ansi.size(); ++i) r[i] = static_cast<std::uint8_t>(ansi[i]);
    for (std::size_t i = 0; i < wide.size(); ++i) ntfs::PutU16(r + 280 + 2 * i, wide[i]);
    PutU32(r + 260, index);
    PutU32(r + 264, drive);
  };
  record(0, 7, 2, "C:\\a.txt", u"C:\\año.txt");
  record(1, 8, 3, "D:\\b.txt", u"");  // only the 8-bit path
  record(2, 9, 40, "C:\\c.txt", u"C:\\c.txt");  // no such drive
  const auto records = DecodeInfo2(info2);
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].Index, 7u);
  EXPECT_EQ(records[0].DriveLetter, 'c');
  EXPECT_EQ(records[0].Origin.Path, u"C:\\año.txt");
  EXPECT_EQ(records[1].DriveLetter, 'd');
  EXPECT_EQ(records[1].Origin.Path, u"D:\\b.txt");
  PutU32(&info2[12], 280);  // the ANSI-only layout of older systems
  EXPECT_TRUE(DecodeInfo2(info2).empty());
}

}  // namespace
}  // namespace vant
