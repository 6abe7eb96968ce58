// Whole decimal numbers in the texts the collector reads: documents, query
// arguments and page addresses.
#pragma once
#include <charconv>
#include <cstdint>
#include <optional>
#include <string_view>

namespace collector {

// The whole text as a signed decimal number; nothing for an empty text,
// any other character, or a number too large.
inline std::optional<int64_t> ParseWholeNumber(std::string_view text) {
  int64_t value = 0;
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || result.ec != std::errc() || result.ptr != text.data() + text.size()) return std::nullopt;
  return value;
}

}  // namespace collector
