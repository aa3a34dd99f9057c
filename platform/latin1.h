// The system's texts are 8-bit (Windows-1252 / Latin-1) strings, as its
// names are. Source files are UTF-8, so Spanish literals are converted at
// compile time: "Tamaño"_l1 is the 6-byte Latin-1 text.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vant {

template <std::size_t N>
struct Utf8Literal {
  char Bytes[N]{};
  constexpr Utf8Literal(const char (&s)[N]) {
    for (std::size_t i = 0; i < N; ++i) Bytes[i] = s[i];
  }
};

namespace detail {
template <std::size_t N>
struct Latin1Text {
  char Bytes[N]{};
  std::size_t Length = 0;
};

template <std::size_t N>
constexpr Latin1Text<N> ToLatin1(const Utf8Literal<N>& in) {
  Latin1Text<N> out;
  for (std::size_t i = 0; i + 1 < N;) {
    const auto c = static_cast<unsigned char>(in.Bytes[i]);
    if (c < 0x80) {
      out.Bytes[out.Length++] = static_cast<char>(c);
      ++i;
    } else if ((c & 0xE0) == 0xC0 && c <= 0xC3) {
      out.Bytes[out.Length++] = static_cast<char>(((c & 0x1F) << 6) | (static_cast<unsigned char>(in.Bytes[i + 1]) & 0x3F));
      i += 2;
    } else {
      throw "only Latin-1 characters belong in the system's texts";
    }
  }
  return out;
}

template <Utf8Literal S>
struct Latin1Storage {
  static constexpr auto Value = ToLatin1(S);
};
}  // namespace detail

template <Utf8Literal S>
constexpr std::string_view operator""_l1() {
  return {detail::Latin1Storage<S>::Value.Bytes, detail::Latin1Storage<S>::Value.Length};
}

// For terminals and files that speak UTF-8.
inline std::string Latin1ToUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (c < 0x80) {
      out += ch;
    } else {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

}  // namespace vant
