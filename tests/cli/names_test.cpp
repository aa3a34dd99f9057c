// How the vant tool shows, writes and searches the names a volume holds.
#include "cli/names.h"

#include <gtest/gtest.h>

namespace vant::cli {
namespace {

TEST(ToolNames, PrintedAsUtf8OnOneLineWithEveryUnitAccountedFor) {
  EXPECT_EQ(PrintableName(u"Canción año.txt"), "Canción año.txt");
  EXPECT_EQ(PrintableName(u"Привет.txt"), "Привет.txt");
  EXPECT_EQ(PrintableName(u"\U0001F600.txt"), "\xF0\x9F\x98\x80.txt");  // a surrogate pair is one character
  // The low bytes of these are "../.."; the names are not.
  EXPECT_EQ(PrintableName(u"\u012E\u012E\u012F\u012E\u012E"), "ĮĮįĮĮ");
  // Unpaired surrogates are shown, not dropped, high or low, at either end.
  EXPECT_EQ(PrintableName(u"b\xD800.txt"), "b\\uD800.txt");
  EXPECT_EQ(PrintableName(u"\xDC00x\xD83D"), "\\uDC00x\\uD83D");
  // Controls never reach the terminal; a backslash is doubled so that every
  // escape reads back.
  EXPECT_EQ(PrintableName(u"tab\there\nesc\x1b[31m\x7F"), "tab\\x09here\\x0Aesc\\x1B[31m\\x7F");
  EXPECT_EQ(PrintableName(u"..\\..\\x"), "..\\\\..\\\\x");
  EXPECT_EQ(PrintableName(u"a\u0085b\u2028c\u202Ed"), "a\\u0085b\\u2028c\\u202Ed");
  EXPECT_EQ(PrintableName(u"a|b", U'|'), "a\\x7Cb");
  EXPECT_EQ(PrintableName(u"a|b"), "a|b");
  EXPECT_EQ(PrintableName(std::u16string(u"a\0b", 3)), "a\\x00b");
  // Form captions are Latin-1.
  EXPECT_EQ(Printable(CodePointsOfLatin1("Tama\xF1o\r")), "Tamaño\\x0D");
}

TEST(ToolNames, WrittenChangingOnlyWhatTheTargetCannotHold) {
  using enum TargetRules;
  EXPECT_EQ(OutputName(u"Canción año.txt", Posix), "Canción año.txt");
  EXPECT_EQ(OutputName(u"Привет.txt", Posix), "Привет.txt");
  EXPECT_EQ(OutputName(u"a/../../x", Posix), "a_.._.._x");
  EXPECT_EQ(OutputName(u"..\\..\\x", Posix), "..\\..\\x");  // a plain name here
  EXPECT_EQ(OutputName(u"..", Posix), "__");
  EXPECT_EQ(OutputName(u".", Posix), "_");
  EXPECT_EQ(OutputName(u"", Posix), "_");
  EXPECT_EQ(OutputName(u"...", Posix), "...");
  EXPECT_EQ(OutputName(std::u16string(u"a\0b", 3), Posix), "a_b");
  EXPECT_EQ(OutputName(u"tab\there", Posix), "tab\there");  // the file system holds it
  EXPECT_EQ(OutputName(u"b\xD800.txt", Posix), "b_.txt");   // not UTF-8
  EXPECT_EQ(OutputName(u"a:b*c?d\"e<f>g|h\\i\x01", Posix), "a:b*c?d\"e<f>g|h\\i\x01");

  EXPECT_EQ(OutputName(u"a:b*c?d\"e<f>g|h\\i\x01/", Windows), "a_b_c_d_e_f_g_h_i__");
  EXPECT_EQ(OutputName(u"..\\..\\x", Windows), ".._.._x");
  EXPECT_EQ(OutputName(u"name. . ", Windows), "name____");
  EXPECT_EQ(OutputName(u"..", Windows), "__");
  EXPECT_EQ(OutputName(u"CON", Windows), "_CON");
  EXPECT_EQ(OutputName(u"nul.txt", Windows), "_nul.txt");
  EXPECT_EQ(OutputName(u"Com7.tar.gz", Windows), "_Com7.tar.gz");
  EXPECT_EQ(OutputName(u"LPT1 .txt", Windows), "_LPT1 .txt");
  EXPECT_EQ(OutputName(u"CONSOLE.txt", Windows), "CONSOLE.txt");
  EXPECT_EQ(OutputName(u"COM0", Windows), "COM0");
  EXPECT_EQ(OutputName(u"CON", Posix), "CON");

  // 255 Cyrillic letters are 510 bytes: cut at a letter, extension kept.
  const std::u16string longName = std::u16string(251, u'Ж') + u".txt";
  const std::string cut = OutputName(longName, Posix);
  EXPECT_LE(cut.size(), 255u);
  EXPECT_GE(cut.size(), 253u);
  EXPECT_TRUE(cut.ends_with("Ж.txt")) << cut;
}

TEST(ToolNames, SearchIgnoresCaseAcrossScripts) {
  auto matches = [](std::string_view word, std::u16string_view name, std::string_view mask = "", bool whole = false) {
    return NameSearch(word, mask, whole).Matches(CodePoints(name));
  };
  EXPECT_TRUE(matches("canción", u"CANCIÓN AÑO.TXT"));
  EXPECT_TRUE(matches("ПРИВЕТ", u"привет.txt"));
  EXPECT_TRUE(matches("ёж", u"ЁЖИК"));  // outside the basic Cyrillic block
  EXPECT_TRUE(matches("σοφία", u"ΣΟΦΊΑ.txt"));
  EXPECT_TRUE(matches("ΟΔΟΣ", u"οδος", "", true));  // final sigma
  EXPECT_TRUE(matches("strasse", u"Straße.txt"));
  EXPECT_TRUE(matches("STRASSE", u"STRAẞE"));
  EXPECT_TRUE(matches("ǆ", u"ǄEMAL"));
  EXPECT_TRUE(matches("łódź", u"ŁÓDŹ"));
  EXPECT_TRUE(matches("ẞ", u"ss"));
  EXPECT_TRUE(matches("office", u"O\uFB03CE", "", true));
  EXPECT_TRUE(matches("ｗｏｒｄ", u"ＷＯＲＤ"));
  EXPECT_FALSE(matches("ĳ", u"IJ"));  // a ligature letter is not its two letters
  // The low bytes do not match: U+012E is not ".".
  EXPECT_FALSE(matches("..", u"\u012E\u012E"));
  EXPECT_FALSE(matches("canción", u"cancion"));
  // Whole names and types as the form has them.
  EXPECT_TRUE(matches("REPORT.doc", u"report.DOC", "", true));
  EXPECT_FALSE(matches("report", u"report.doc", "", true));
  EXPECT_TRUE(matches("", u"Привет.TXT", ".doc;.rtf;.txt"));
  EXPECT_FALSE(matches("", u"Привет.txt~", ".doc;.rtf;.txt"));
  EXPECT_FALSE(matches("", u".txt", ".doc;.rtf;.txt"));
  EXPECT_FALSE(matches("при", u"Привет.xls", ".doc;.rtf;.txt"));
  // A word typed in bytes that are not UTF-8 finds nothing by accident.
  EXPECT_FALSE(matches("\xE9", u"\u00E9"));
}

}  // namespace
}  // namespace vant::cli
