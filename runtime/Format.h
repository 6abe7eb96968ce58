// The typed printf-style formatter: printf meaning, checked argument types,
// Windows' "%I64d" accepted. A format that does not match its arguments
// raises qtl::status_exception instead of reading stray memory.
#pragma once
#include <string>
#include <string_view>
#include <vector>

#include <fmt/printf.h>
#include <fmt/xchar.h>

#include "runtime/Status.h"

namespace str {
namespace fmt {

// Splits a format into literal runs and single conversions ("%02d", "%%").
template <class Char>
std::vector<std::basic_string<Char>> tokenize(std::basic_string_view<Char> format) {
  std::vector<std::basic_string<Char>> tokens;
  auto is = [](Char c, const char* set) {
    for (; *set; ++set) {
      if (c == static_cast<Char>(*set)) return true;
    }
    return false;
  };
  size_t i = 0;
  while (i < format.size()) {
    size_t start = i;
    if (format[i] != '%') {
      while (i < format.size() && format[i] != '%') ++i;
    } else if (++i < format.size()) {
      while (i < format.size() && is(format[i], "-+ #0123456789.*hlLqjztI")) ++i;
      if (i < format.size()) ++i;  // the conversion letter
    }
    tokens.emplace_back(format.substr(start, i - start));
  }
  return tokens;
}

// The format with Windows' length modifier I64 spelled ll.
template <class Char>
std::basic_string<Char> translate(std::basic_string_view<Char> format) {
  std::basic_string<Char> out;
  for (auto& token : tokenize(format)) {
    size_t at = token.size() > 1 && token[0] == '%' ? token.find(static_cast<Char>('I')) : std::basic_string<Char>::npos;
    if (at != std::basic_string<Char>::npos && token.compare(at, 3, std::basic_string<Char>{'I', '6', '4'}) == 0) {
      token.replace(at, 3, std::basic_string<Char>{'l', 'l'});
    }
    out += token;
  }
  return out;
}

[[noreturn]] void ThrowFormatError(const char* what);

}  // namespace fmt

template <class Char, class... Args>
std::basic_string<Char> snprintf(std::basic_string_view<Char> format, const Args&... args) {
  try {
    return ::fmt::sprintf(fmt::translate(format), args...);
  } catch (const std::exception& e) {
    fmt::ThrowFormatError(e.what());
  }
}

template <class... Args>
std::wstring snprintf(const wchar_t* format, const Args&... args) {
  return snprintf(std::wstring_view(format), args...);
}

template <class... Args>
std::string snprintf(const char* format, const Args&... args) {
  return snprintf(std::string_view(format), args...);
}

}  // namespace str
