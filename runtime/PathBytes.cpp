#include "runtime/PathBytes.h"

#include "runtime/Str.h"

namespace sys::path {
namespace {

bool IsHighSurrogate(wchar_t c) { return sizeof(wchar_t) == 2 && c >= 0xD800 && c <= 0xDBFF; }

// On UTF-16 hosts U+DC80..U+DCFF right after a high surrogate is the second
// half of a real character, not a kept byte.
bool IsKeptByte(std::wstring_view text, size_t i) {
  const auto c = static_cast<char32_t>(text[i]);
  return c >= 0xDC80 && c <= 0xDCFF && !(i > 0 && IsHighSurrogate(text[i - 1]));
}

}  // namespace

std::wstring DecodeBytes(std::string_view bytes) { return str::as_wstring(bytes, str::InvalidUtf8::kKeepByte); }

std::string EncodeBytes(std::wstring_view path) {
  std::string out;
  size_t start = 0;
  for (size_t i = 0; i < path.size(); ++i) {
    if (!IsKeptByte(path, i)) continue;
    out += str::as_u8string(path.substr(start, i - start));
    out += static_cast<char>(static_cast<char32_t>(path[i]) - 0xDC00);
    start = i + 1;
  }
  return out + str::as_u8string(path.substr(start));
}

std::wstring Displayable(std::wstring name) {
  for (size_t i = 0; i < name.size(); ++i) {
    if (IsKeptByte(name, i)) name[i] = static_cast<wchar_t>(static_cast<char32_t>(name[i]) - 0xDC00);
  }
  return name;
}

}  // namespace sys::path
