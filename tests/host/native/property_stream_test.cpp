// The saved form's byte layout, natively under the sanitizers: a host's
// stream gives bytes in any pieces, and whatever the writer takes the reader
// gives back; whatever the reader refuses the writer refuses too.
#include <gtest/gtest.h>

#include <algorithm>

#include "host/property_stream.h"

namespace vant::host::property_stream {
namespace {

FormProperties Sample() {
  FormProperties p;
  p.Caption = std::string(kMaxText, 'c');
  p.HelpFile = "ayuda.hlp";
  p.Font.Name = std::string(kMaxFontName, 'f');
  p.Font.Points = -7;
  p.Font.Charset = -2;
  p.Font.Italic = true;
  p.Color = 0x8000000F;
  p.AxBorderStyle = FormBorder::Raised;
  p.PrintScale = FormPrintScale::PrintToFit;
  p.BorderWidth = -1;
  p.KeyPreview = true;
  return p;
}

// Reads `saved` through a stream giving at most `piece` bytes per read.
FormProperties ReadInPieces(const std::vector<std::uint8_t>& saved, std::size_t piece, std::size_t* used) {
  std::size_t at = 0;
  const FormProperties out = Read(
      [&](std::uint8_t* into, std::size_t size) {
        const std::size_t n = std::min({size, piece, saved.size() - at});
        std::copy_n(saved.begin() + static_cast<std::ptrdiff_t>(at), n, into);
        at += n;
        return n;
      },
      FormProperties{});
  *used = at;
  return out;
}

TEST(FormStream, WhatIsWrittenReadsBackInAnyPieces) {
  const std::vector<std::uint8_t> saved = Encode(Sample());
  std::vector<std::uint8_t> followed = saved;
  followed.insert(followed.end(), {1, 2, 3});  // the host's stream goes on after the form
  for (std::size_t piece : {std::size_t{1}, std::size_t{7}, kBufferSize, saved.size() + 3}) {
    SCOPED_TRACE(piece);
    std::size_t used = 0;
    EXPECT_EQ(Encode(ReadInPieces(followed, piece, &used)), saved);
    EXPECT_EQ(used, saved.size()) << "not a byte beyond the form";
  }
}

TEST(FormStream, WriterAndReaderRefuseTheSameTexts) {
  struct Case {
    const char* What;
    void (*Spoil)(FormProperties&);
  };
  const Case cases[] = {
      {"caption one too long", [](FormProperties& p) { p.Caption.push_back('x'); }},
      {"caption with a NUL", [](FormProperties& p) { p.Caption[5] = '\0'; }},
      {"help file with a NUL", [](FormProperties& p) { p.HelpFile = std::string(1, '\0'); }},
      {"font name one too long", [](FormProperties& p) { p.Font.Name.push_back('x'); }},
      {"border style 4", [](FormProperties& p) { p.AxBorderStyle = static_cast<FormBorder>(4); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.What);
    FormProperties spoiled = Sample();
    c.Spoil(spoiled);
    EXPECT_THROW(CheckStorable(spoiled), std::invalid_argument);
    EXPECT_THROW(Encode(spoiled), std::invalid_argument);
  }
}

}  // namespace
}  // namespace vant::host::property_stream
