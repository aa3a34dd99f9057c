#include "catalogue/search.h"

namespace vant {

std::string ToLowerText(std::string_view text, const LowerCase& lower) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(lower(static_cast<unsigned char>(c)));
  return out;
}

namespace {

bool WordTest(std::string_view name, std::string_view word, bool wholeName) {
  return wholeName ? name == word : name.find(word) != std::string_view::npos;
}

}  // namespace

bool MatchesSearch(std::string_view name, std::string_view word, std::string_view mask, bool wholeName,
                   const LowerCase& lower) {
  const std::string lowered = ToLowerText(name, lower);
  if (mask.empty()) return WordTest(lowered, word, wholeName);
  if (lowered.size() < 5) return false;
  const std::string_view ending = std::string_view(lowered).substr(lowered.size() - 4);
  while (!mask.empty()) {
    const auto cut = mask.find(';');
    const std::string element = ToLowerText(mask.substr(0, cut), lower);
    if (ending == element && WordTest(lowered, word, wholeName)) return true;
    mask = cut == std::string_view::npos ? std::string_view() : mask.substr(cut + 1);
  }
  return false;
}

}  // namespace vant
