#include "platform/Registry.h"

namespace platform {

std::vector<uint8_t> Utf16Bytes(const std::wstring& text, bool terminate) {
  std::vector<uint8_t> bytes;
  auto put = [&](char16_t unit) {
    bytes.push_back(static_cast<uint8_t>(unit & 0xFF));
    bytes.push_back(static_cast<uint8_t>(unit >> 8));
  };
  for (wchar_t w : text) {
    auto c = static_cast<char32_t>(w);
    if (sizeof(wchar_t) == 4 && c >= 0x10000) {
      c -= 0x10000;
      put(static_cast<char16_t>(0xD800 + (c >> 10)));
      put(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    } else {
      put(static_cast<char16_t>(c));
    }
  }
  if (terminate) put(0);
  return bytes;
}

std::wstring TextOfRegistryData(const std::vector<uint8_t>& data) {
  std::u16string units;
  for (size_t i = 0; i + 1 < data.size(); i += 2) {
    char16_t unit = static_cast<char16_t>(data[i] | (data[i + 1] << 8));
    if (unit == 0) break;
    units += unit;
  }
  std::wstring text;
  for (size_t i = 0; i < units.size(); ++i) {
    char32_t c = units[i];
    if (sizeof(wchar_t) == 4 && c >= 0xD800 && c <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
        units[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (units[++i] - 0xDC00);
    }
    text += static_cast<wchar_t>(c);
  }
  return text;
}

}  // namespace platform
