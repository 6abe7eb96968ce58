#include "report/XmlText.h"

#include "runtime/Format.h"

bool IsXmlChar(uint32_t u) {
  return u == 0x09 || u == 0x0A || u == 0x0D || (u >= 0x20 && u <= 0xD7FF) || (u >= 0xE000 && u <= 0xFFFD) ||
         (u >= 0x10000 && u <= 0x10FFFF);
}

namespace {

void AppendReference(std::wstring& out, uint32_t unit) {
  wchar_t digits[8];
  int n = 0;
  do {
    digits[n++] = static_cast<wchar_t>(L'0' + unit % 10);
    unit /= 10;
  } while (unit);
  while (n < 3) digits[n++] = L'0';
  out += L"&#";
  while (n) out += digits[--n];
  out += L';';
}

}  // namespace

std::wstring XmlEscape(const std::wstring& text) {
  std::wstring out;
  out.reserve(text.size() + text.size() / 8);
  AppendXmlEscaped(out, text);
  return out;
}

void AppendXmlEscaped(std::wstring& out, std::wstring_view text) {
  for (wchar_t w : text) {
    const auto u = static_cast<uint32_t>(w);
    // A character above U+FFFF is a surrogate pair in UTF-16: both halves go.
    if (u > 0xFFFF || !IsXmlChar(u)) continue;
    switch (u) {
      case '"': out += L"&quot;"; break;
      case '&': out += L"&amp;"; break;
      case '\'': out += L"&apos;"; break;
      case '<': out += L"&lt;"; break;
      case '>': out += L"&gt;"; break;
      default:
        if (u == 0x0A || (u >= 0x20 && u <= 0x7F)) {
          out += w;
        } else {
          AppendReference(out, u);
        }
    }
  }
}

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
