#include "report/XmlText.h"

#include <type_traits>

#include "runtime/Format.h"

bool IsXmlChar(uint32_t u) {
  return u == 0x09 || u == 0x0A || u == 0x0D || (u >= 0x20 && u <= 0xD7FF) || (u >= 0xE000 && u <= 0xFFFD) ||
         (u >= 0x10000 && u <= 0x10FFFF);
}

namespace {

template <class String>
void AppendReference(String& out, uint32_t unit) {
  char digits[8];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + unit % 10);
    unit /= 10;
  } while (unit);
  while (n < 3) digits[n++] = '0';
  out += '&';
  out += '#';
  while (n) out += digits[--n];
  out += ';';
}

template <class String>
void AppendEntity(String& out, const char* entity) {
  for (; *entity; ++entity) out += *entity;
}

// Characters that pass unchanged: line feed and 0x20-0x7F except markup.
struct PlainTable {
  bool plain[128] = {};
  PlainTable() {
    plain[0x0A] = true;
    for (int c = 0x20; c <= 0x7F; ++c) plain[c] = true;
    for (char c : {'"', '&', '\'', '<', '>'}) plain[static_cast<int>(c)] = false;
  }
  bool operator()(uint32_t u) const { return u < 128 && plain[u]; }
};

template <class String>
void AppendPlain(String& out, std::wstring_view plain) {
  if constexpr (std::is_same_v<typename String::value_type, wchar_t>) {
    out.append(plain.data(), plain.size());
  } else {
    const size_t at = out.size();
    out.resize(at + plain.size());
    for (size_t k = 0; k < plain.size(); ++k) out[at + k] = static_cast<char>(plain[k]);
  }
}

template <class String>
void AppendSpecial(String& out, uint32_t u) {
  // A character above U+FFFF is a surrogate pair in UTF-16: both halves go.
  if (u > 0xFFFF || !IsXmlChar(u)) return;
  switch (u) {
    case '"': AppendEntity(out, "&quot;"); break;
    case '&': AppendEntity(out, "&amp;"); break;
    case '\'': AppendEntity(out, "&apos;"); break;
    case '<': AppendEntity(out, "&lt;"); break;
    case '>': AppendEntity(out, "&gt;"); break;
    default: AppendReference(out, u);
  }
}

// Runs of characters that pass unchanged are copied in one piece.
template <class String>
void AppendEscaped(String& out, std::wstring_view text) {
  static const PlainTable isPlain;
  for (size_t i = 0; i < text.size();) {
    size_t end = i;
    while (end < text.size() && isPlain(static_cast<uint32_t>(text[end]))) ++end;
    AppendPlain(out, text.substr(i, end - i));
    if (end == text.size()) break;
    AppendSpecial(out, static_cast<uint32_t>(text[end]));
    i = end + 1;
  }
}

}  // namespace

std::wstring XmlEscape(const std::wstring& text) {
  std::wstring out;
  out.reserve(text.size() + text.size() / 8);
  AppendXmlEscaped(out, text);
  return out;
}

void AppendXmlEscaped(std::wstring& out, std::wstring_view text) { AppendEscaped(out, text); }

void AppendXmlEscaped(std::string& out, std::wstring_view text) { AppendEscaped(out, text); }

std::wstring FormatByteSize(uint64_t bytes, uint64_t step) {
  uint64_t value = bytes;
  if (step != 0) {
    const uint64_t upper = bytes / step * step + (bytes % step ? step : 0);
    const uint64_t aboveBy = upper - bytes;  // and bytes lies step - aboveBy above the lower multiple
    value = aboveBy < step - aboveBy ? upper : upper - step;
  }
  const double kb = static_cast<double>(value) * 0.0009765625;
  const double mb = kb / 1024, gb = mb / 1024, tb = gb / 1024;
  if (tb >= 0.8) return str::snprintf(L"%1.0f TB", tb);
  if (gb >= 0.8) return str::snprintf(L"%1.0f GB", gb);
  if (mb >= 0.8) return str::snprintf(L"%1.0f MB", mb);
  if (kb >= 0.8) return str::snprintf(L"%1.0f KB", kb);
  return str::snprintf(L"%I64d B", static_cast<long long>(bytes));
}
