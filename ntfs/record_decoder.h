// One FILE record into one catalogue entry.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "catalogue/catalogue.h"

namespace vant {

// A record is decoded only when it starts with "FILE" and is a base record
// (its base-record reference is zero).
bool IsValidBaseRecord(std::span<const std::uint8_t> record);

// Fills name, times, parent, flags and, when a $DATA attribute is found,
// size, residency and data offset. `record` must already be fixed up. Every
// offset and length is checked against the record: a walk that meets a bad
// one stops there and the entry keeps what it has. A valid record without a
// usable name gets an empty one.
void DecodeFileRecord(Catalogue& catalogue, FileEntry& entry, std::span<const std::uint8_t> record, char driveLetter);

// A record too full for its attributes goes on in extension records, which
// name their base record. When the base record has no usable name (it is in
// the extension) or no $DATA (a run list too long for it), the extension's
// $FILE_NAME gives name and parent, and its first $DATA piece the size.
// True when the base entry gained something.
bool DecodeExtensionRecord(Catalogue& catalogue, FileEntry& base, std::span<const std::uint8_t> extension,
                           char driveLetter);
// The base record an extension record belongs to; 0 for a base record or
// one without the signature.
std::uint64_t BaseRecordOf(std::span<const std::uint8_t> record);

// "D", the drive letter, then only digits up to the first "." (e.g. DC12.txt).
bool IsRecycledName(std::string_view name, char driveLetter);

}  // namespace vant
