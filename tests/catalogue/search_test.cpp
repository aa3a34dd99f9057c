#include "catalogue/search.h"

#include <gtest/gtest.h>

#include "platform/text.h"

namespace vant {
namespace {

bool Match(std::string_view name, std::string_view word, std::string_view mask = {}, bool whole = false) {
  const LowerCase lower = text::Latin1Lower;
  return MatchesSearch(name, ToLowerText(word, lower), mask, whole, lower);
}

TEST(Search, MatchesWordsAndTypesAsTheUserAsks) {
  EXPECT_TRUE(Match("MyDOC.txt", "doc"));
  EXPECT_TRUE(Match("informe.docx", ".doc"));
  EXPECT_TRUE(Match("anything", ""));
  EXPECT_FALSE(Match("anything", "", {}, true));
  EXPECT_TRUE(Match("", "", {}, true));
  const std::string_view msWord = ".doc;.rtf;.txt";
  EXPECT_TRUE(Match("carta.DOC", "", msWord));
  EXPECT_TRUE(Match("notas.txt", "", msWord));
  EXPECT_FALSE(Match("carta.docx", "", msWord));
  EXPECT_FALSE(Match("notas.txt~", "", msWord));
  EXPECT_FALSE(Match(".txt", "", msWord));  // a type needs at least 5 characters
  EXPECT_TRUE(Match("a.txt", "", msWord));
  EXPECT_TRUE(Match("report.doc", "Report.DOC", {}, true));
  EXPECT_FALSE(Match("report.doc.bak", "Report.DOC", {}, true));
  // Accented capitals are lowered with the 8-bit locale mapping.
  EXPECT_TRUE(Match("\xC1RBOL.TXT", "\xE1rbol"));
  EXPECT_TRUE(Match("x.EXE", "x", ".exe;.com;.bat"));
}

}  // namespace
}  // namespace vant
