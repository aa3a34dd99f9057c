// The 8-bit text services of platforms that have none of their own: the
// Latin-1 lower-case mapping, an lstrcmpA-like order and the Spanish short
// byte-size text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vant::text {

// Latin-1 lower case: A-Z and the accented capitals 0xC0-0xDE (but for the
// multiplication sign 0xD7).
unsigned char Latin1Lower(unsigned char c);

// The order users know from Windows' default comparison (lstrcmpA, a "word
// sort" of the user's locale), for the names a volume holds:
//  1. hyphen and apostrophe are ignored at first ("co-op" sorts with "coop");
//  2. characters compare by class: punctuation and symbols (by code) before
//     digits before letters;
//  3. letters compare without case and without accents first ("a" = "A" = "á");
//  4. then accents: the plain letter before its accented forms;
//  5. then case: lower case before upper case, first difference deciding;
//  6. then the ignored characters, and at last the bytes themselves.
// Bytes above 0x7F are read as Latin-1.
int CompareWordSort(std::string_view a, std::string_view b);

// "74,5 GB": the short byte-size text as the Spanish shell writes it (three
// significant digits, decimal comma, truncated), cut to fit a buffer of
// `bufferChars` characters with its terminating zero.
std::string FormatByteSizeEs(std::int64_t bytes, std::size_t bufferChars);

}  // namespace vant::text
