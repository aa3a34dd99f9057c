#include "platform/text.h"

#include <algorithm>
#include <cstdio>

namespace vant::text {

unsigned char Latin1Lower(unsigned char c) {
  if (c >= 'A' && c <= 'Z') return static_cast<unsigned char>(c + 32);
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<unsigned char>(c + 32);
  return c;
}

namespace {

struct Weight {
  int Primary;    // class and base character
  int Accent;     // 0 for the plain letter
  int Case;       // 0 lower, 1 upper
};

// Base letter and accent rank of the Latin-1 letters above 0x7F.
bool FoldLatin1(unsigned char c, char& base, int& accent) {
  static const char* const kBases =
      // 0xC0..0xFF
      "AAAAAAACEEEEIIII" "DNOOOOO*OUUUUYTs" "aaaaaaaceeeeiiii" "dnooooo/ouuuuyty";
  if (c < 0xC0) return false;
  const char b = kBases[c - 0xC0];
  if (b == '*' || b == '/') return false;
  base = b;
  accent = 1 + (c & 0x07);
  return true;
}

bool Ignorable(unsigned char c) { return c == '-' || c == '\''; }

Weight WeightOf(unsigned char c) {
  char base = 0;
  int accent = 0;
  if (!FoldLatin1(c, base, accent) && ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))) base = static_cast<char>(c);
  if (base != 0) {
    const bool upper = base >= 'A' && base <= 'Z';
    const int lower = upper ? base + 32 : base;
    return {3000 + lower * 16, accent, upper ? 1 : 0};
  }
  if (c >= '0' && c <= '9') return {2000 + c, 0, 0};
  return {1000 + c, 0, 0};  // punctuation, symbols, control bytes
}

// Compares one level over the strings with the ignorable characters skipped.
template <class Key>
int CompareLevel(std::string_view a, std::string_view b, Key key) {
  std::size_t i = 0, j = 0;
  for (;;) {
    while (i < a.size() && Ignorable(static_cast<unsigned char>(a[i]))) ++i;
    while (j < b.size() && Ignorable(static_cast<unsigned char>(b[j]))) ++j;
    if (i == a.size() || j == b.size()) return (i == a.size() ? 0 : 1) - (j == b.size() ? 0 : 1);
    const int ka = key(WeightOf(static_cast<unsigned char>(a[i++])));
    const int kb = key(WeightOf(static_cast<unsigned char>(b[j++])));
    if (ka != kb) return ka < kb ? -1 : 1;
  }
}

}  // namespace

int CompareWordSort(std::string_view a, std::string_view b) {
  if (int r = CompareLevel(a, b, [](Weight w) { return w.Primary; })) return r;
  if (int r = CompareLevel(a, b, [](Weight w) { return w.Accent; })) return r;
  if (int r = CompareLevel(a, b, [](Weight w) { return w.Case; })) return r;
  auto ignored = [](std::string_view s) {
    return std::count_if(s.begin(), s.end(), [](char c) { return Ignorable(static_cast<unsigned char>(c)); });
  };
  if (const auto ia = ignored(a), ib = ignored(b); ia != ib) return ia < ib ? -1 : 1;
  if (int r = a.compare(b)) return r < 0 ? -1 : 1;
  return 0;
}

std::string FormatByteSizeEs(std::int64_t bytes, std::size_t bufferChars) {
  char out[64];
  if (bytes < 1024) {
    std::snprintf(out, sizeof out, "%lld bytes", static_cast<long long>(bytes));
  } else {
    static const char* const kUnits[] = {"KB", "MB", "GB", "TB", "PB", "EB"};
    int unit = 0;
    // Hundredths of the unit, truncated, kept in range without overflow.
    long double value = static_cast<long double>(bytes) / 1024.0L;
    while (value >= 1000.0L && unit < 5) {
      value /= 1024.0L;
      ++unit;
    }
    const auto hundredths = static_cast<long long>(value * 100.0L);
    const long long whole = hundredths / 100;
    if (whole >= 100) std::snprintf(out, sizeof out, "%lld %s", whole, kUnits[unit]);
    else if (whole >= 10) std::snprintf(out, sizeof out, "%lld,%lld %s", whole, (hundredths / 10) % 10, kUnits[unit]);
    else std::snprintf(out, sizeof out, "%lld,%02lld %s", whole, hundredths % 100, kUnits[unit]);
  }
  std::string text(out);
  if (bufferChars == 0) return {};
  if (text.size() > bufferChars - 1) text.resize(bufferChars - 1);
  return text;
}

}  // namespace vant::text
