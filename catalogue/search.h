// The file search's matching rule: a word in the name and, optionally, a
// type given as a list of name endings.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace vant {

using LowerCase = std::function<unsigned char(unsigned char)>;

std::string ToLowerText(std::string_view text, const LowerCase& lower);

// `word` is already lower case; `name` and the mask's elements are lowered
// here. An empty mask takes every type; a mask ".doc;.rtf" takes names of at
// least 5 characters whose last four are one of its elements.
bool MatchesSearch(std::string_view name, std::string_view word, std::string_view mask, bool wholeName,
                   const LowerCase& lower);

}  // namespace vant
