// Names as the volume holds them (UTF-16 units), for the vant tool: shown as
// UTF-8 on one line, written as file names the target can hold, and matched
// by a search without regard to case. The form keeps its 8-bit names; none
// of this reaches it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vant::cli {

// Code points of UTF-16 units. An unpaired surrogate stays as its own value
// (0xD800-0xDFFF), so that callers can show it rather than lose it.
std::u32string CodePoints(std::u16string_view units);
// Code points of UTF-8 text; each byte that is not part of well-formed
// UTF-8 stands as U+FFFD.
std::u32string CodePointsOfUtf8(std::string_view utf8);
// Code points of 8-bit Latin-1 text (the form's captions).
std::u32string CodePointsOfLatin1(std::string_view latin1);

// UTF-8 for printing, always on one line of a terminal, a TSV row or a
// bodyfile:
//   backslash                                   \\  (so every escape reads back)
//   U+0000-U+001F, U+007F                       \xNN
//   U+0080-U+009F (C1 controls), U+2028/U+2029
//   (line and paragraph separators), U+200E/F,
//   U+202A-U+202E, U+2066-U+2069 (text
//   direction controls), unpaired surrogates    \uNNNN
//   `alsoEscaped` (say '|' in a bodyfile)       \xNN
// Everything else is written as it is.
std::string Printable(std::u32string_view text, char32_t alsoEscaped = 0);
inline std::string PrintableName(std::u16string_view units, char32_t alsoEscaped = 0) {
  return Printable(CodePoints(units), alsoEscaped);
}

// UTF-8 as written to a file system: a plain encoding with no escapes; an
// unpaired surrogate becomes U+FFFD.
std::string Utf8(std::u32string_view text);

enum class TargetRules { Posix, Windows };
// One path component for a recovered file or folder, in UTF-8. Only what
// the target cannot hold is changed, each such character into "_":
//  - everywhere: "/" and NUL, and unpaired surrogates (not UTF-8);
//  - Windows also: "\\", ":", "*", "?", "\"", "<", ">", "|", U+0001-U+001F,
//    trailing dots and spaces; a device name (CON, PRN, AUX, NUL, COM1-9,
//    LPT1-9, alone or before an extension) gets "_" in front;
//  - "." and ".." (they name folders already there) become "_" and "__",
//    and an empty name "_";
//  - a name longer than 255 bytes is cut at a character boundary, its
//    extension kept when it is short.
// Two names may come out the same; the caller tells them apart.
std::string OutputName(std::u16string_view units, TargetRules rules);

// Case folding for the search: the simple folding of Latin (Basic, Latin-1,
// Extended-A and -B, Extended Additional), Greek (with final sigma and the
// symbol forms), Cyrillic (with its supplement), Armenian and fullwidth
// Latin, plus the full foldings that expand: sharp s (ß, ẞ -> "ss"),
// dotted capital I (İ -> "i" + U+0307), ŉ, ǰ and the Latin ligatures
// U+FB00-U+FB06. No normalisation: "é" and "e" + U+0301 stay different.
std::u32string FoldCase(std::u32string_view text);

// The search rule of the form, on the volume's names: `word` occurs in the
// name (or is the whole name with `wholeName`), ignoring case; and, with a
// type mask such as ".doc;.rtf", the name has at least 5 characters and ends
// in one of its elements, ignoring case.
class NameSearch {
 public:
  NameSearch(std::string_view wordUtf8, std::string_view maskLatin1, bool wholeName);
  bool Matches(std::u32string_view name) const;

 private:
  std::u32string word_;
  std::vector<std::u32string> endings_;
  bool whole_;
};

}  // namespace vant::cli
