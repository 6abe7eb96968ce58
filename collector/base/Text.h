// Small text rules the collector applies in several places.
#pragma once
#include <string>
#include <string_view>

namespace collector {

// ASCII letters lowered; other bytes (UTF-8 included) kept as they are.
inline std::string AsciiLower(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

// Without leading and trailing blanks (space, tab, CR, LF).
inline std::string_view Trim(std::string_view text) {
  constexpr std::string_view kBlanks = " \t\r\n";
  const size_t first = text.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

}  // namespace collector
