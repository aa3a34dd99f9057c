#include "cli/names.h"

#include <cstdio>

namespace vant::cli {
namespace {

bool IsHighSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }
bool IsSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDFFF; }

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

bool NeedsUnicodeEscape(char32_t c) {
  return (c >= 0x80 && c <= 0x9F) || IsSurrogate(c) || c == 0x200E || c == 0x200F || c == 0x2028 || c == 0x2029 ||
         (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

// Simple folding of one code point; the expanding full foldings are handled
// by FoldCase itself.
char32_t FoldOne(char32_t c) {
  auto evenToOdd = [c](char32_t first, char32_t last) { return c >= first && c <= last && (c & 1) == (first & 1); };
  if (c < 0x80) return c >= 'A' && c <= 'Z' ? c + 0x20 : c;
  if (c < 0x100) {
    if (c == 0xB5) return 0x3BC;  // micro sign folds to Greek mu
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 0x20;
    return c;
  }
  if (c < 0x180) {
    if (c == 0x130 || c == 0x131 || c == 0x138 || c == 0x149) return c;
    if (c == 0x178) return 0xFF;
    if (c == 0x17F) return 's';
    if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return (c & 1) ? c + 1 : c;
    return (c & 1) ? c : c + 1;
  }
  if (c < 0x250) {
    switch (c) {
      case 0x1C4: case 0x1C5: return 0x1C6;
      case 0x1C7: case 0x1C8: return 0x1C9;
      case 0x1CA: case 0x1CB: return 0x1CC;
      case 0x1F1: case 0x1F2: return 0x1F3;
      case 0x1F4: return 0x1F5;
      case 0x1F6: return 0x195;
      case 0x1F7: return 0x1BF;
      case 0x220: return 0x19E;
      case 0x23A: return 0x2C65;
      case 0x23B: return 0x23C;
      case 0x23D: return 0x19A;
      case 0x23E: return 0x2C66;
      case 0x241: return 0x242;
      case 0x243: return 0x180;
      case 0x244: return 0x289;
      case 0x245: return 0x28C;
      default: break;
    }
    if (c >= 0x1CD && c <= 0x1DC) return (c & 1) ? c + 1 : c;
    if (evenToOdd(0x1DE, 0x1EF) || evenToOdd(0x1F8, 0x21F) || evenToOdd(0x222, 0x233) || evenToOdd(0x246, 0x24F))
      return c + 1;
    return c;
  }
  if (c >= 0x345 && c < 0x400) {
    switch (c) {
      case 0x345: return 0x3B9;
      case 0x370: case 0x372: case 0x376: return c + 1;
      case 0x37F: return 0x3F3;
      case 0x386: return 0x3AC;
      case 0x38C: return 0x3CC;
      case 0x38E: case 0x38F: return c + 0x3F;
      case 0x3C2: return 0x3C3;
      case 0x3CF: return 0x3D7;
      case 0x3D0: return 0x3B2;
      case 0x3D1: return 0x3B8;
      case 0x3D5: return 0x3C6;
      case 0x3D6: return 0x3C0;
      case 0x3F0: return 0x3BA;
      case 0x3F1: return 0x3C1;
      case 0x3F4: return 0x3B8;
      case 0x3F5: return 0x3B5;
      case 0x3F7: case 0x3FA: return c + 1;
      case 0x3F9: return 0x3F2;
      case 0x3FD: case 0x3FE: case 0x3FF: return c - 0x82;
      default: break;
    }
    if (c >= 0x388 && c <= 0x38A) return c + 0x25;
    if ((c >= 0x391 && c <= 0x3A1) || (c >= 0x3A3 && c <= 0x3AB)) return c + 0x20;
    if (evenToOdd(0x3D8, 0x3EF)) return c + 1;
    return c;
  }
  if (c >= 0x400 && c < 0x530) {
    if (c <= 0x40F) return c + 0x50;
    if (c <= 0x42F) return c + 0x20;
    if (c == 0x4C0) return 0x4CF;
    if (c >= 0x4C1 && c <= 0x4CE) return (c & 1) ? c + 1 : c;
    if (evenToOdd(0x460, 0x481) || evenToOdd(0x48A, 0x4BF) || evenToOdd(0x4D0, 0x52F)) return c + 1;
    return c;
  }
  if (c >= 0x531 && c <= 0x556) return c + 0x30;
  if (c >= 0x1E00 && c <= 0x1EFF) {
    if (c == 0x1E9B) return 0x1E61;
    if (evenToOdd(0x1E00, 0x1E95) || evenToOdd(0x1EA0, 0x1EFF)) return c + 1;
    return c;
  }
  if (c >= 0xFF21 && c <= 0xFF3A) return c + 0x20;
  return c;
}

// The full foldings that become more than one code point; null for others.
const char32_t* FoldExpanding(char32_t c) {
  switch (c) {
    case 0xDF: case 0x1E9E: return U"ss";
    case 0x130: return U"i\u0307";
    case 0x149: return U"\u02BCn";
    case 0x1F0: return U"j\u030C";
    case 0xFB00: return U"ff";
    case 0xFB01: return U"fi";
    case 0xFB02: return U"fl";
    case 0xFB03: return U"ffi";
    case 0xFB04: return U"ffl";
    case 0xFB05: case 0xFB06: return U"st";
    default: return nullptr;
  }
}

}  // namespace

std::u32string CodePoints(std::u16string_view units) {
  std::u32string out;
  out.reserve(units.size());
  for (std::size_t i = 0; i < units.size(); ++i) {
    const char32_t u = units[i];
    if (IsHighSurrogate(u) && i + 1 < units.size() && IsLowSurrogate(units[i + 1])) {
      out += 0x10000 + ((u - 0xD800) << 10) + (char32_t{units[i + 1]} - 0xDC00);
      ++i;
    } else {
      out += u;
    }
  }
  return out;
}

std::u32string CodePointsOfUtf8(std::string_view utf8) {
  std::u32string out;
  for (std::size_t i = 0; i < utf8.size();) {
    const auto b = static_cast<unsigned char>(utf8[i]);
    std::size_t length = b < 0x80 ? 1 : (b >= 0xC2 && b <= 0xDF) ? 2 : (b >= 0xE0 && b <= 0xEF) ? 3 : (b >= 0xF0 && b <= 0xF4) ? 4 : 0;
    char32_t c = length == 1 ? b : length == 2 ? (b & 0x1F) : length == 3 ? (b & 0x0F) : (b & 0x07);
    bool ok = length != 0 && i + length <= utf8.size();
    for (std::size_t k = 1; ok && k < length; ++k) {
      const auto t = static_cast<unsigned char>(utf8[i + k]);
      ok = (t & 0xC0) == 0x80;
      c = (c << 6) | (t & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
    ok = ok && !(length == 3 && c < 0x800) && !(length == 4 && (c < 0x10000 || c > 0x10FFFF)) && !IsSurrogate(c);
    if (ok) {
      out += c;
      i += length;
    } else {
      out += 0xFFFD;
      ++i;
    }
  }
  return out;
}

std::u32string CodePointsOfLatin1(std::string_view latin1) {
  std::u32string out;
  out.reserve(latin1.size());
  for (char c : latin1) out += static_cast<unsigned char>(c);
  return out;
}

std::string Printable(std::u32string_view text, char32_t alsoEscaped) {
  std::string out;
  out.reserve(text.size());
  char escape[16];
  for (char32_t c : text) {
    if (c == '\\') {
      out += "\\\\";
    } else if (c < 0x20 || c == 0x7F || (alsoEscaped && c == alsoEscaped && c < 0x80)) {
      std::snprintf(escape, sizeof escape, "\\x%02X", static_cast<unsigned>(c));
      out += escape;
    } else if (NeedsUnicodeEscape(c)) {
      std::snprintf(escape, sizeof escape, "\\u%04X", static_cast<unsigned>(c));
      out += escape;
    } else {
      AppendUtf8(out, c);
    }
  }
  return out;
}

std::string Utf8(std::u32string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char32_t c : text) AppendUtf8(out, IsSurrogate(c) || c > 0x10FFFF ? 0xFFFD : c);
  return out;
}

namespace {

bool IsDeviceName(std::u32string_view name) {
  // The stem before the first dot, trailing spaces ignored, in any case.
  std::u32string stem(name.substr(0, name.find(U'.')));
  while (!stem.empty() && stem.back() == U' ') stem.pop_back();
  for (char32_t& c : stem) c = FoldOne(c);
  if (stem == U"con" || stem == U"prn" || stem == U"aux" || stem == U"nul") return true;
  return stem.size() == 4 && (stem.starts_with(U"com") || stem.starts_with(U"lpt")) && stem[3] >= U'1' && stem[3] <= U'9';
}

}  // namespace

std::string OutputName(std::u16string_view units, TargetRules rules) {
  std::u32string name = CodePoints(units);
  const bool windows = rules == TargetRules::Windows;
  for (char32_t& c : name) {
    const bool forbidden = c == U'/' || c == 0 || IsSurrogate(c) ||
                           (windows && (c < 0x20 || std::u32string_view(U"\\:*?\"<>|").find(c) != std::u32string_view::npos));
    if (forbidden) c = U'_';
  }
  if (windows) {
    for (auto it = name.rbegin(); it != name.rend() && (*it == U'.' || *it == U' '); ++it) *it = U'_';
    if (IsDeviceName(name)) name.insert(name.begin(), U'_');
  }
  if (name.empty()) name = U"_";
  if (name == U".") name = U"_";
  if (name == U"..") name = U"__";

  std::string out = Utf8(name);
  constexpr std::size_t kMaxBytes = 255;
  if (out.size() > kMaxBytes) {
    const std::size_t dot = name.rfind(U'.');
    std::string extension = dot != std::u32string::npos && dot > 0 ? Utf8(name.substr(dot)) : std::string();
    if (extension.size() > 32) extension.clear();
    std::string stem;
    for (char32_t c : name) {
      std::string one;
      AppendUtf8(one, c);
      if (stem.size() + one.size() + extension.size() > kMaxBytes) break;
      stem += one;
    }
    out = stem + extension;
  }
  return out;
}

std::u32string FoldCase(std::u32string_view text) {
  std::u32string out;
  out.reserve(text.size());
  for (char32_t c : text) {
    if (const char32_t* expanded = FoldExpanding(c)) out += expanded;
    else out += FoldOne(c);
  }
  return out;
}

NameSearch::NameSearch(std::string_view wordUtf8, std::string_view maskLatin1, bool wholeName)
    : word_(FoldCase(CodePointsOfUtf8(wordUtf8))), whole_(wholeName) {
  while (!maskLatin1.empty()) {
    const auto cut = maskLatin1.find(';');
    endings_.push_back(FoldCase(CodePointsOfLatin1(maskLatin1.substr(0, cut))));
    maskLatin1 = cut == std::string_view::npos ? std::string_view() : maskLatin1.substr(cut + 1);
  }
}

bool NameSearch::Matches(std::u32string_view name) const {
  const std::u32string folded = FoldCase(name);
  if (!endings_.empty()) {
    if (name.size() < 5) return false;
    bool typed = false;
    for (const std::u32string& ending : endings_) typed = typed || folded.ends_with(ending);
    if (!typed) return false;
  }
  return whole_ ? folded == word_ : folded.find(word_) != std::u32string::npos;
}

}  // namespace vant::cli
