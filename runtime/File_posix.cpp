#include "runtime/File.h"

#include "runtime/Str.h"

namespace sys::file {
std::FILE* Open(const std::wstring& path, const char* mode) {
  std::string bytes;
  // Characters U+DC80..U+DCFF stand for the bytes of names that are not UTF-8.
  for (wchar_t c : path) {
    const auto cp = static_cast<char32_t>(c);
    bytes += cp >= 0xDC80 && cp <= 0xDCFF ? std::string(1, static_cast<char>(cp - 0xDC00))
                                           : str::as_u8string(std::wstring(1, c));
  }
  return std::fopen(bytes.c_str(), mode);
}
}  // namespace sys::file
