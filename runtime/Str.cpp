#include "runtime/Str.h"

namespace str {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

bool IsSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDFFF; }

// Decodes the code point at text[i]; returns its length in code units, or 0
// when the position holds an unpaired surrogate or a value outside Unicode.
size_t DecodeWide(std::wstring_view text, size_t i, char32_t& cp) {
  char32_t c = static_cast<char32_t>(text[i]);
  if constexpr (sizeof(wchar_t) == 2) {
    c &= 0xFFFF;
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size()) {
      char32_t low = static_cast<char32_t>(text[i + 1]) & 0xFFFF;
      if (low >= 0xDC00 && low <= 0xDFFF) {
        cp = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
        return 2;
      }
    }
  }
  if (IsSurrogate(c) || c > 0x10FFFF) return 0;
  cp = c;
  return 1;
}

// Length of the valid UTF-8 sequence at text[i], or 0 when it is not one.
size_t DecodeUtf8(std::string_view text, size_t i, char32_t& cp) {
  auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
  unsigned char b0 = byte(i);
  if (b0 < 0x80) {
    cp = b0;
    return 1;
  }
  size_t length;
  char32_t min;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    length = 2, min = 0x80, cp = b0 & 0x1F;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    length = 3, min = 0x800, cp = b0 & 0x0F;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    length = 4, min = 0x10000, cp = b0 & 0x07;
  } else {
    return 0;
  }
  if (i + length > text.size()) return 0;
  for (size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (byte(i + k) & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || IsSurrogate(cp)) return 0;
  return length;
}

}  // namespace

void AppendCodePoint(std::wstring& out, char32_t cp) {
  if (sizeof(wchar_t) == 2 && cp >= 0x10000) {
    cp -= 0x10000;
    out += static_cast<wchar_t>(0xD800 + (cp >> 10));
    out += static_cast<wchar_t>(0xDC00 + (cp & 0x3FF));
  } else {
    out += static_cast<wchar_t>(cp);
  }
}

std::string as_u8string(std::wstring_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    char32_t cp = kReplacement;
    size_t used = DecodeWide(text, i, cp);
    AppendUtf8(out, used ? cp : kReplacement);
    i += used ? used : 1;
  }
  return out;
}

std::wstring as_wstring(std::string_view utf8, InvalidUtf8 invalid) {
  std::wstring out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) {
    // Most text is ASCII: widen runs of it without decoding.
    size_t end = i;
    while (end < utf8.size() && static_cast<unsigned char>(utf8[end]) < 0x80) ++end;
    if (end > i) {
      out.append(utf8.begin() + i, utf8.begin() + end);
      i = end;
      continue;
    }
    char32_t cp;
    size_t used = DecodeUtf8(utf8, i, cp);
    if (used) {
      AppendCodePoint(out, cp);
      i += used;
    } else {
      unsigned char b = static_cast<unsigned char>(utf8[i++]);
      out += static_cast<wchar_t>(invalid == InvalidUtf8::kLatin1     ? b
                                  : invalid == InvalidUtf8::kKeepByte ? 0xDC00 + b
                                                                      : kReplacement);
    }
  }
  return out;
}

std::u16string as_utf16(std::wstring_view text) {
  if constexpr (sizeof(wchar_t) == 2) return std::u16string(text.begin(), text.end());
  std::u16string out;
  out.reserve(text.size());
  for (wchar_t w : text) {
    auto c = static_cast<char32_t>(w);
    if (c >= 0x10000 && c <= 0x10FFFF) {
      c -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (c >> 10));
      out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    } else {
      out += static_cast<char16_t>(c > 0xFFFF ? kReplacement : c);
    }
  }
  return out;
}

bool Utf16Less::operator()(const std::wstring& a, const std::wstring& b) const {
  if constexpr (sizeof(wchar_t) == 2) {
    return a < b;
  } else {
    // In UTF-16 a supplementary character (a high surrogate first) sorts
    // between U+D7FF and U+E000; rank code points the same way.
    auto rank = [](wchar_t w) -> unsigned long long {
      auto c = static_cast<unsigned long long>(static_cast<char32_t>(w));
      if (c >= 0x10000) return 0x10000 + c;
      return c >= 0xE000 ? 0x200000 + c : c;
    };
    size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; ++i) {
      if (a[i] != b[i]) return rank(a[i]) < rank(b[i]);
    }
    return a.size() < b.size();
  }
}

}  // namespace str
