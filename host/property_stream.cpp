#include "host/property_stream.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>

namespace vant::host::property_stream {
namespace {

std::uint32_t GetU32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}
std::uint16_t GetU16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }

// Why a text cannot be stored, or null when it can.
const char* TextFault(std::string_view text, std::uint32_t max) {
  if (text.size() > max) return "too long";
  if (text.find('\0') != std::string_view::npos) return "holding a NUL character";
  return nullptr;
}

void CheckText(std::string_view text, std::uint32_t max, const char* name) {
  if (const char* fault = TextFault(text, max))
    throw std::invalid_argument(std::string(name) + " cannot be stored: " + fault + " (at most " +
                                std::to_string(max) + " characters, none of them NUL)");
}

// Appends little-endian values; a record's length is filled in when it ends.
class Writer {
 public:
  explicit Writer(std::vector<std::uint8_t>& out) : out_(out) {}
  void U8(std::uint8_t v) { out_.push_back(v); }
  void U16(std::uint16_t v) {
    U8(static_cast<std::uint8_t>(v));
    U8(static_cast<std::uint8_t>(v >> 8));
  }
  void U32(std::uint32_t v) {
    U16(static_cast<std::uint16_t>(v));
    U16(static_cast<std::uint16_t>(v >> 16));
  }
  void Text(const std::string& text, std::uint32_t max, const char* name) {
    // Refused here too, so a save never writes what a load would refuse.
    CheckText(text, max, name);
    out_.insert(out_.end(), text.begin(), text.end());
  }
  std::size_t Size() const { return out_.size(); }
  void PatchU32(std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out_[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
  }

 private:
  std::vector<std::uint8_t>& out_;
};

// One record's value, read with its size checked against the field's kind.
class Value {
 public:
  Value(std::span<const std::uint8_t> bytes, const char* name) : bytes_(bytes), name_(name) {}
  std::uint8_t U8() const { return Fixed(1)[0]; }
  std::int16_t I16() const { return static_cast<std::int16_t>(GetU16(Fixed(2))); }
  std::uint32_t U32() const { return GetU32(Fixed(4)); }
  std::int32_t I32() const { return static_cast<std::int32_t>(U32()); }
  bool Flag() const { return static_cast<bool>(Below(2)); }
  std::uint8_t Below(unsigned limit) const {
    const std::uint8_t v = U8();
    if (v >= limit) Fail("holds " + std::to_string(v) + ", out of range");
    return v;
  }
  std::string Text(std::uint32_t max) const {
    std::string text(bytes_.begin(), bytes_.end());
    if (const char* fault = TextFault(text, max)) Fail(std::string("is ") + fault);
    return text;
  }

 private:
  const std::uint8_t* Fixed(std::size_t size) const {
    if (bytes_.size() != size)
      Fail("is " + std::to_string(bytes_.size()) + " bytes long instead of " + std::to_string(size));
    return bytes_.data();
  }
  [[noreturn]] void Fail(const std::string& why) const {
    throw FormatError(std::string("the saved ") + name_ + " " + why);
  }
  std::span<const std::uint8_t> bytes_;
  const char* name_;
};

constexpr std::uint8_t kBold = 1, kItalic = 2, kUnderline = 4, kStrikeout = 8;

// The one table that drives both directions: every saved field, its tag and
// how it is written and read.
struct Field {
  FormTag tag;
  const char* name;
  void (*save)(Writer&, const FormProperties&);
  void (*load)(const Value&, FormProperties&);
};

#define VANT_FLAG_FIELD(Name)                                               \
  Field {                                                                   \
    FormTag::Name, #Name, [](Writer& w, const FormProperties& p) { w.U8(p.Name ? 1 : 0); }, \
        [](const Value& v, FormProperties& p) { p.Name = v.Flag(); }          \
  }

const Field kFields[] = {
    {FormTag::Caption, "caption", [](Writer& w, const FormProperties& p) { w.Text(p.Caption, kMaxText, "the caption"); },
     [](const Value& v, FormProperties& p) { p.Caption = v.Text(kMaxText); }},
    {FormTag::Color, "colour", [](Writer& w, const FormProperties& p) { w.U32(p.Color); },
     [](const Value& v, FormProperties& p) { p.Color = v.U32(); }},
    {FormTag::FontName, "font name",
     [](Writer& w, const FormProperties& p) { w.Text(p.Font.Name, kMaxFontName, "the font name"); },
     [](const Value& v, FormProperties& p) { p.Font.Name = v.Text(kMaxFontName); }},
    {FormTag::FontPoints, "font size", [](Writer& w, const FormProperties& p) { w.U32(static_cast<std::uint32_t>(p.Font.Points)); },
     [](const Value& v, FormProperties& p) { p.Font.Points = v.I32(); }},
    {FormTag::FontStyle, "font style",
     [](Writer& w, const FormProperties& p) {
       w.U8(static_cast<std::uint8_t>((p.Font.Bold ? kBold : 0) | (p.Font.Italic ? kItalic : 0) |
                                      (p.Font.Underline ? kUnderline : 0) | (p.Font.Strikeout ? kStrikeout : 0)));
     },
     [](const Value& v, FormProperties& p) {
       const std::uint8_t style = v.Below(16);
       p.Font.Bold = style & kBold;
       p.Font.Italic = style & kItalic;
       p.Font.Underline = style & kUnderline;
       p.Font.Strikeout = style & kStrikeout;
     }},
    {FormTag::FontCharset, "font character set",
     [](Writer& w, const FormProperties& p) { w.U16(static_cast<std::uint16_t>(p.Font.Charset)); },
     [](const Value& v, FormProperties& p) { p.Font.Charset = v.I16(); }},
    {FormTag::FontColour, "font colour", [](Writer& w, const FormProperties& p) { w.U32(p.Font.Colour); },
     [](const Value& v, FormProperties& p) { p.Font.Colour = v.U32(); }},
    VANT_FLAG_FIELD(Enabled),
    VANT_FLAG_FIELD(AutoScroll),
    VANT_FLAG_FIELD(AutoSize),
    {FormTag::AxBorderStyle, "border style",
     [](Writer& w, const FormProperties& p) { w.U8(static_cast<std::uint8_t>(p.AxBorderStyle)); },
     [](const Value& v, FormProperties& p) { p.AxBorderStyle = static_cast<FormBorder>(v.Below(4)); }},
    {FormTag::BorderWidth, "border width",
     [](Writer& w, const FormProperties& p) { w.U32(static_cast<std::uint32_t>(p.BorderWidth)); },
     [](const Value& v, FormProperties& p) { p.BorderWidth = v.I32(); }},
    VANT_FLAG_FIELD(KeyPreview),
    {FormTag::PixelsPerInch, "pixels per inch",
     [](Writer& w, const FormProperties& p) { w.U32(static_cast<std::uint32_t>(p.PixelsPerInch)); },
     [](const Value& v, FormProperties& p) { p.PixelsPerInch = v.I32(); }},
    {FormTag::PrintScale, "print scale",
     [](Writer& w, const FormProperties& p) { w.U8(static_cast<std::uint8_t>(p.PrintScale)); },
     [](const Value& v, FormProperties& p) { p.PrintScale = static_cast<FormPrintScale>(v.Below(3)); }},
    VANT_FLAG_FIELD(Scaled),
    VANT_FLAG_FIELD(DropTarget),
    {FormTag::HelpFile, "help file",
     [](Writer& w, const FormProperties& p) { w.Text(p.HelpFile, kMaxText, "the help file name"); },
     [](const Value& v, FormProperties& p) { p.HelpFile = v.Text(kMaxText); }},
    VANT_FLAG_FIELD(DoubleBuffered),
};
#undef VANT_FLAG_FIELD

constexpr std::size_t kFieldCount = sizeof kFields / sizeof kFields[0];

const Field* FieldOf(std::uint16_t tag) {
  for (const Field& field : kFields)
    if (static_cast<std::uint16_t>(field.tag) == tag) return &field;
  return nullptr;
}

// The header's payload length, after the signature and version are checked.
std::uint32_t PayloadLength(const std::uint8_t* header) {
  if (std::memcmp(header, kSignature, sizeof kSignature) != 0) throw FormatError("the stream holds no saved VANT form");
  const std::uint16_t version = GetU16(header + 4);
  if (version != kVersion)
    throw FormatError("the saved form is of format " + std::to_string(version) + "; this control reads format " +
                      std::to_string(kVersion));
  const std::uint32_t length = GetU32(header + 6);
  if (length > kMaxPayload)
    throw FormatError("the saved form claims " + std::to_string(length) + " bytes, more than any form takes");
  return length;
}

FormProperties DecodePayload(std::span<const std::uint8_t> payload, const FormProperties& base) {
  FormProperties out = base;
  std::array<bool, kFieldCount> seen{};
  std::size_t at = 0;
  while (at < payload.size()) {
    if (payload.size() - at < kRecordHeaderSize)
      throw FormatError("the saved form ends inside a field header at byte " + std::to_string(kHeaderSize + at));
    const std::uint16_t tag = GetU16(&payload[at]);
    const std::uint32_t length = GetU32(&payload[at + 2]);
    at += kRecordHeaderSize;
    if (length > payload.size() - at)
      throw FormatError("field " + std::to_string(tag) + " at byte " + std::to_string(kHeaderSize + at) + " claims " +
                        std::to_string(length) + " bytes; " + std::to_string(payload.size() - at) + " are left");
    if (const Field* field = FieldOf(tag)) {
      bool& already = seen[static_cast<std::size_t>(field - kFields)];
      if (already) throw FormatError(std::string("the saved ") + field->name + " appears twice");
      already = true;
      field->load(Value(payload.subspan(at, length), field->name), out);
    }
    at += length;
  }
  for (std::size_t i = 0; i < kFieldCount; ++i)
    if (!seen[i]) throw FormatError(std::string("the saved form lacks its ") + kFields[i].name);
  return out;
}

}  // namespace

void CheckStorable(const FormProperties& p) {
  if (static_cast<unsigned>(p.AxBorderStyle) > 3) throw std::invalid_argument("the border style cannot be stored");
  if (static_cast<unsigned>(p.PrintScale) > 2) throw std::invalid_argument("the print scale cannot be stored");
  CheckText(p.Caption, kMaxText, "the caption");
  CheckText(p.HelpFile, kMaxText, "the help file name");
  CheckText(p.Font.Name, kMaxFontName, "the font name");
}

std::vector<std::uint8_t> Encode(const FormProperties& properties) {
  CheckStorable(properties);
  std::vector<std::uint8_t> out;
  Writer w(out);
  for (std::uint8_t b : kSignature) w.U8(b);
  w.U16(kVersion);
  w.U32(0);  // the payload length, once known
  for (const Field& field : kFields) {
    w.U16(static_cast<std::uint16_t>(field.tag));
    const std::size_t lengthAt = w.Size();
    w.U32(0);
    field.save(w, properties);
    w.PatchU32(lengthAt, static_cast<std::uint32_t>(w.Size() - lengthAt - 4));
  }
  w.PatchU32(6, static_cast<std::uint32_t>(out.size() - kHeaderSize));
  return out;
}

FormProperties Decode(std::span<const std::uint8_t> saved, const FormProperties& base) {
  if (saved.size() < kHeaderSize) throw FormatError("the stream ends inside the saved form's header");
  const std::uint32_t length = PayloadLength(saved.data());
  if (saved.size() - kHeaderSize < length)
    throw FormatError("the saved form is cut short: " + std::to_string(saved.size() - kHeaderSize) + " of " +
                      std::to_string(length) + " bytes");
  return DecodePayload(saved.subspan(kHeaderSize, length), base);
}

void Write(const FormProperties& properties, const WriteFn& write) {
  const std::vector<std::uint8_t> bytes = Encode(properties);
  for (std::size_t at = 0; at < bytes.size(); at += kBufferSize)
    write(bytes.data() + at, std::min(kBufferSize, bytes.size() - at));
}

FormProperties Read(const ReadFn& read, const FormProperties& base) {
  // Fills exactly `size` bytes, or says how far the stream went.
  auto fill = [&](std::uint8_t* into, std::size_t size, std::size_t before) {
    std::size_t got = 0;
    while (got < size) {
      const std::size_t n = read(into + got, size - got);
      if (n == 0)
        throw FormatError("the stream ends after " + std::to_string(before + got) + " bytes of the saved form");
      if (n > size - got) throw std::logic_error("a stream gave more bytes than asked for");
      got += n;
    }
  };
  std::uint8_t header[kHeaderSize];
  fill(header, kHeaderSize, 0);
  const std::uint32_t length = PayloadLength(header);
  // Grown as the bytes arrive, so a false length costs no more than the stream holds.
  std::vector<std::uint8_t> payload;
  std::array<std::uint8_t, kBufferSize> buffer;
  while (payload.size() < length) {
    const std::size_t piece = std::min<std::size_t>(kBufferSize, length - payload.size());
    fill(buffer.data(), piece, kHeaderSize + payload.size());
    payload.insert(payload.end(), buffer.begin(), buffer.begin() + piece);
  }
  return DecodePayload(payload, base);
}

}  // namespace vant::host::property_stream
