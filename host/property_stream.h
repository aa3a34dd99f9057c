// The byte layout in which the control saves its form's own properties
// into a host's document, and reads them back. Nothing here knows COM: the
// bytes come and go through two callbacks, so the layout can be tested and
// fuzzed on its own.
//
// Layout (every integer little-endian):
//   header, 10 bytes
//     0  4  signature "VNTF"
//     4  2  format version (1; any other is refused)
//     6  4  payload length in bytes (at most kMaxPayload)
//   payload: records, back to back, filling the payload exactly
//     0  2  tag (FormTag)
//     2  4  value length in bytes
//     6  n  value: u8 / i16 / u32 / i32 as the tag says, or a text's bytes
//           (the form's 8-bit texts, no terminator, no NUL inside)
// Every tag of version 1 must appear exactly once. Unknown tags are
// skipped, so a later writer may add a field older readers can do without;
// a field they must understand needs a new version.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/toolkit.h"

namespace vant::host::property_stream {

inline constexpr std::uint8_t kSignature[4] = {'V', 'N', 'T', 'F'};
inline constexpr std::uint16_t kVersion = 1;
inline constexpr std::size_t kHeaderSize = 10;
inline constexpr std::size_t kRecordHeaderSize = 6;
inline constexpr std::size_t kBufferSize = 4096;       // reads and writes go in pieces of at most this
inline constexpr std::uint32_t kMaxText = 32767;        // caption, help file
inline constexpr std::uint32_t kMaxFontName = 255;
inline constexpr std::uint32_t kMaxPayload = 128 * 1024;  // well above two longest texts and every field

enum class FormTag : std::uint16_t {
  Caption = 1,         // text
  Color = 2,           // u32, an OLE colour
  FontName = 3,        // text
  FontPoints = 4,      // i32
  FontStyle = 5,       // u8: bold 1, italic 2, underline 4, strikeout 8
  FontCharset = 6,     // i16
  FontColour = 7,      // u32
  Enabled = 8,         // u8 0 or 1, as every flag below
  AutoScroll = 9,
  AutoSize = 10,
  AxBorderStyle = 11,  // u8 0..3
  BorderWidth = 12,    // i32
  KeyPreview = 13,
  PixelsPerInch = 14,  // i32
  PrintScale = 15,     // u8 0..2
  Scaled = 16,
  DropTarget = 17,
  HelpFile = 18,       // text
  DoubleBuffered = 19,
};

// A stream that is not a saved form of this format, or is cut short. The
// message says which field, or which byte, is at fault.
class FormatError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Fills `into` with up to `size` bytes and answers how many it gave (0 at
// the end of the stream). Throws when the stream itself fails.
using ReadFn = std::function<std::size_t(std::uint8_t* into, std::size_t size)>;
// Takes all `size` bytes or throws.
using WriteFn = std::function<void(const std::uint8_t* from, std::size_t size)>;

// Refuses (std::invalid_argument, naming the property) a form that could
// not be saved and loaded back: a text over its limit or holding a NUL. The
// writer checks this and the reader the same limits, so whatever a put lets
// through saves, and whatever saves loads.
void CheckStorable(const FormProperties& properties);

// The whole saved form: header and payload. Visibility and the read-only
// state are not saved: a host decides visibility by activating the control.
std::vector<std::uint8_t> Encode(const FormProperties& properties);

// The saved properties over `base` (which supplies what is not saved).
// Throws FormatError; `base` is never touched, so nothing half-applies.
FormProperties Decode(std::span<const std::uint8_t> saved, const FormProperties& base);

// Encode, handed to `write` in pieces of at most kBufferSize bytes.
void Write(const FormProperties& properties, const WriteFn& write);

// Reads one saved form from `read`: the header, then exactly the payload
// it announces (in pieces of at most kBufferSize), never a byte beyond it,
// so a host's stream may go on after it.
FormProperties Read(const ReadFn& read, const FormProperties& base);

}  // namespace vant::host::property_stream
