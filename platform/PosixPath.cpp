#include "platform/PosixPath.h"

#include "runtime/Str.h"

namespace platform::posix {

std::wstring DecodePath(const std::string& bytes) {
  std::wstring text = str::as_wstring(bytes, str::InvalidUtf8::kLatin1);
  // kLatin1 maps an invalid byte b to U+00b; find those by re-encoding piecewise.
  std::wstring out;
  size_t byteAt = 0;
  for (wchar_t c : text) {
    const std::string encoded = str::as_u8string(std::wstring(1, c));
    if (bytes.compare(byteAt, encoded.size(), encoded) == 0) {
      out += c;
      byteAt += encoded.size();
    } else {
      out += static_cast<wchar_t>(0xDC00 + static_cast<unsigned char>(bytes[byteAt++]));
    }
  }
  return out;
}

std::string EncodePath(const std::wstring& path) {
  std::string out;
  for (wchar_t c : path) {
    const auto cp = static_cast<char32_t>(c);
    if (cp >= 0xDC80 && cp <= 0xDCFF) {
      out += static_cast<char>(cp - 0xDC00);
    } else {
      out += str::as_u8string(std::wstring(1, c));
    }
  }
  return out;
}

}  // namespace platform::posix
