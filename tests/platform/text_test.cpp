#include "platform/text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "platform/latin1.h"

namespace vant {
namespace {

TEST(Text, SortsNamesAsUsersExpect) {
  std::vector<std::string> names = {"b", "B", "a", "A", "10", "2", "_x", "Zeta", "árbol", "arbol", "co-op", "coop", "Ábaco"};
  for (auto& n : names)
    if (n.find('\xC3') != std::string::npos) n = n == "árbol" ? std::string("\xE1rbol") : std::string("\xC1" "baco");
  std::stable_sort(names.begin(), names.end(), [](auto& a, auto& b) { return text::CompareWordSort(a, b) < 0; });
  EXPECT_EQ(names, (std::vector<std::string>{"_x", "10", "2", "a", "A", "\xC1" "baco", "arbol", "\xE1rbol", "b", "B",
                                             "coop", "co-op", "Zeta"}));
  EXPECT_EQ(text::CompareWordSort("Elementos perdidos", "Elementos perdidos"), 0);
}

TEST(Text, LowerCaseAndByteSizes) {
  EXPECT_EQ(text::Latin1Lower('A'), 'a');
  EXPECT_EQ(text::Latin1Lower(0xC9), 0xE9);  // É -> é
  EXPECT_EQ(text::Latin1Lower(0xD7), 0xD7);  // the multiplication sign has no case
  EXPECT_EQ(text::Latin1Lower('1'), '1');
  EXPECT_EQ(text::FormatByteSizeEs(80'000'000'000LL, 8), "74,5 GB");
  EXPECT_EQ(text::FormatByteSizeEs(500, 8), "500 byt");  // cut to 7 characters
  EXPECT_EQ(text::FormatByteSizeEs(1536, 32), "1,50 KB");
  EXPECT_EQ(text::FormatByteSizeEs(200LL * 1024 * 1024 * 1024, 32), "200 GB");
  EXPECT_EQ(text::FormatByteSizeEs(-1, 32), "-1 bytes");
  EXPECT_EQ(Latin1ToUtf8("Tama\xF1o"), "Tamaño");
  EXPECT_EQ("Tamaño"_l1, "Tama\xF1o");
}

}  // namespace
}  // namespace vant
