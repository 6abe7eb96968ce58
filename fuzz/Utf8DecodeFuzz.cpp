// str::as_wstring on arbitrary bytes: valid input round-trips exactly,
// the output only ever holds Unicode scalar values, and path bytes round-trip.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "runtime/PathBytes.h"
#include "runtime/Str.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

// The text as code points again; aborts on an unpaired surrogate.
std::u32string CodePoints(const std::wstring& text) {
  std::u32string out;
  const std::u16string units = str::as_utf16(text);
  for (size_t i = 0; i < units.size(); ++i) {
    char32_t c = units[i];
    if (c >= 0xD800 && c <= 0xDBFF) {
      Check(i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF);
      c = 0x10000 + ((c - 0xD800) << 10) + (units[++i] - 0xDC00);
    } else {
      Check(c < 0xDC00 || c > 0xDFFF);
    }
    out += c;
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const std::wstring wide = str::as_wstring(bytes);
  for (char32_t c : CodePoints(wide)) Check(c <= 0x10FFFF);
  const std::string utf8 = str::as_u8string(wide);
  Check(str::as_wstring(utf8) == wide);
  if (wide.find(L'\uFFFD') == std::wstring::npos) Check(utf8 == bytes);

  const std::wstring latin = str::as_wstring(bytes, str::InvalidUtf8::kLatin1);
  Check(CodePoints(latin).size() <= bytes.size());
  if (wide.find(L'\uFFFD') == std::wstring::npos) Check(latin == wide);

  // A path read as bytes opens the same bytes again.
  Check(sys::path::EncodeBytes(sys::path::DecodeBytes(bytes)) == bytes);
  return 0;
}
