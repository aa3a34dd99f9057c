// libFuzzer target: the saved form's byte layout as a host's stream gives
// it. The first byte picks the kind of input:
//   even: the rest is a stream, read in pieces whose sizes come from it; a
//         form that reads must write back to the very bytes that were read;
//   odd:  the rest builds a form of arbitrary texts and numbers; one the
//         writer takes must read back equal (in arbitrary pieces), and one it
//         refuses must fail the storable check.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "host/property_stream.h"

namespace ps = vant::host::property_stream;

namespace {

// A stream over `bytes` giving pieces of the sizes in `pieces`, in turn.
struct PieceStream {
  const std::uint8_t* Bytes;
  std::size_t Size;
  std::vector<std::uint8_t> Pieces;
  std::size_t At = 0, Turn = 0;
  std::size_t operator()(std::uint8_t* into, std::size_t size) {
    const std::size_t piece = Pieces.empty() ? size : std::size_t{Pieces[Turn++ % Pieces.size()]} + 1;
    const std::size_t n = std::min({size, piece, Size - At});
    if (n > 0) std::memcpy(into, Bytes + At, n);
    At += n;
    return n;
  }
};

void StreamInput(FuzzedDataProvider& in) {
  PieceStream stream{nullptr, 0, in.ConsumeBytes<std::uint8_t>(in.ConsumeIntegralInRange<std::size_t>(0, 8))};
  const std::vector<std::uint8_t> bytes = in.ConsumeRemainingBytes<std::uint8_t>();
  stream.Bytes = bytes.data();
  stream.Size = bytes.size();
  vant::FormProperties read;
  try {
    read = ps::Read(std::ref(stream), vant::FormProperties{});
  } catch (const ps::FormatError&) {
    return;
  }
  // Read exactly one form; the decoder agrees with the reader.
  if (stream.At > bytes.size()) std::abort();
  const std::vector<std::uint8_t> form(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(stream.At));
  const std::vector<std::uint8_t> again = ps::Encode(ps::Decode(form, vant::FormProperties{}));
  if (ps::Encode(read) != again) std::abort();
}

void StructuredInput(FuzzedDataProvider& in) {
  vant::FormProperties p;
  auto text = [&](std::size_t most) {
    std::string s = in.ConsumeRandomLengthString(most);
    if (in.ConsumeBool() && !s.empty()) s.resize(most + 1, 'x');  // one past a limit, sometimes
    return s;
  };
  p.Caption = text(ps::kMaxText);
  p.HelpFile = text(ps::kMaxText);
  p.Font.Name = text(ps::kMaxFontName);
  p.Font.Points = in.ConsumeIntegral<int>();
  p.Font.Charset = in.ConsumeIntegral<std::int16_t>();
  p.Font.Colour = in.ConsumeIntegral<std::uint32_t>();
  p.Font.Bold = in.ConsumeBool();
  p.Font.Italic = in.ConsumeBool();
  p.Font.Underline = in.ConsumeBool();
  p.Font.Strikeout = in.ConsumeBool();
  p.Color = in.ConsumeIntegral<std::uint32_t>();
  p.Enabled = in.ConsumeBool();
  p.AutoScroll = in.ConsumeBool();
  p.AutoSize = in.ConsumeBool();
  p.AxBorderStyle = static_cast<vant::FormBorder>(in.ConsumeIntegralInRange<int>(0, 4));
  p.BorderWidth = in.ConsumeIntegral<int>();
  p.KeyPreview = in.ConsumeBool();
  p.PixelsPerInch = in.ConsumeIntegral<int>();
  p.PrintScale = static_cast<vant::FormPrintScale>(in.ConsumeIntegralInRange<int>(0, 3));
  p.Scaled = in.ConsumeBool();
  p.DropTarget = in.ConsumeBool();
  p.DoubleBuffered = in.ConsumeBool();
  std::vector<std::uint8_t> saved;
  bool storable = true;
  try {
    ps::CheckStorable(p);
  } catch (const std::invalid_argument&) {
    storable = false;
  }
  try {
    saved = ps::Encode(p);
  } catch (const std::invalid_argument&) {
    if (storable) std::abort();  // the writer refused what the check let through
    return;
  }
  if (!storable) std::abort();
  PieceStream stream{saved.data(), saved.size(), in.ConsumeRemainingBytes<std::uint8_t>()};
  const vant::FormProperties back = ps::Read(std::ref(stream), vant::FormProperties{});  // throws: a finding
  if (ps::Encode(back) != saved || back.Caption != p.Caption || !(back.Font == p.Font) || back.Color != p.Color ||
      back.BorderWidth != p.BorderWidth || back.PixelsPerInch != p.PixelsPerInch || back.HelpFile != p.HelpFile)
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  FuzzedDataProvider in(data + 1, size - 1);
  if (data[0] % 2 == 0) StreamInput(in);
  else StructuredInput(in);
  return 0;
}
