// Number to text and back, with the standard's locale-free conversions.
#pragma once
#include <charconv>
#include <string>
#include <type_traits>

namespace math {

enum class RoundType { kTruncate = 0, kNearest = 1 };

namespace impl {

// Parses the whole text with from_chars; wide text is narrowed first and
// anything that is not ASCII refused. False, value unchanged, on failure.
template <class T, class S, class... Format>
bool ParseWhole(T& value, const S& text, Format... format) {
  std::string narrow;
  for (auto c : text) {
    if (static_cast<unsigned long>(c) > 0x7F) return false;
    narrow += static_cast<char>(c);
  }
  T parsed{};
  const char* end = narrow.data() + narrow.size();
  auto result = std::from_chars(narrow.data(), end, parsed, format...);
  if (narrow.empty() || result.ec != std::errc() || result.ptr != end) return false;
  value = parsed;
  return true;
}

template <class T>
struct ConvertInt {
  // Digits in `base` (2 to 36), a leading '-' for negatives.
  template <class S>
  static void to_string(S& out, T value, int base = 10) {
    char buffer[72];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value, base);
    out.assign(buffer, result.ptr);
  }
  // The whole text must be a decimal number that fits T; otherwise false and value unchanged.
  template <class S>
  static bool from_string(T& value, const S& text) {
    return ParseWhole(value, text, 10);
  }
};

template <class T>
struct ConvertFloat {
  // At most `digits` significant digits, shortest form ("0.5", "1e+20"),
  // always rounded to nearest: every caller asks for kNearest, so the
  // rounding kind is accepted and not looked at.
  template <class S>
  static void to_string(S& out, T value, int digits, RoundType /*rounding*/ = RoundType::kNearest) {
    char buffer[64];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, digits);
    out.assign(buffer, result.ptr);
  }
  template <class S>
  static bool from_string(T& value, const S& text) {
    return ParseWhole(value, text);
  }
};

}  // namespace impl
}  // namespace math
