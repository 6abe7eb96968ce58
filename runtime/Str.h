// Text conversion and small string tools. Wide text is UTF-16 on Windows and
// UTF-32 on Linux; every conversion accepts any input and never fails.
#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace str {

// What a decoder does with a byte that does not start a valid UTF-8 sequence.
enum class InvalidUtf8 {
  kReplace,  // U+FFFD for each invalid byte
  kLatin1,   // the character of the same value, so no byte is lost
  kKeepByte, // U+DC00 + the byte, which no decoded character uses (file names)
};

// Wide to UTF-8; an unpaired surrogate or a value outside Unicode becomes U+FFFD.
std::string as_u8string(std::wstring_view text);
// UTF-8 to wide; invalid bytes as `invalid` says.
std::wstring as_wstring(std::string_view utf8, InvalidUtf8 invalid = InvalidUtf8::kReplace);
inline std::wstring as_wstring(const char* utf8, size_t length) {
  return as_wstring(std::string_view(utf8, length));
}
// Wide to the narrow text the program passes to the system: UTF-8.
inline std::string as_cstring(std::wstring_view text) { return as_u8string(text); }

// Appends one code point to wide text (a surrogate pair on UTF-16 hosts).
void AppendCodePoint(std::wstring& out, char32_t cp);

// The text as UTF-16 code units, the unit of escaping and ordering on every host.
std::u16string as_utf16(std::wstring_view text);

// Orders wide texts by UTF-16 code units on every host.
struct Utf16Less {
  bool operator()(const std::wstring& a, const std::wstring& b) const;
};

template <class S>
void replace_all(S& text, const S& from, const S& to) {
  if (from.empty()) return;
  S out;
  size_t start = 0;
  for (size_t hit; (hit = text.find(from, start)) != S::npos; start = hit + from.size()) {
    out.append(text, start, hit - start);
    out += to;
  }
  if (start == 0) return;
  out.append(text, start, S::npos);
  text.swap(out);
}

// Every piece between separators; "a==b" gives "a", "", "b"; the empty text gives one empty piece.
template <class S>
std::vector<S> split(const S& text, typename S::value_type separator) {
  std::vector<S> pieces;
  size_t start = 0;
  for (size_t hit; (hit = text.find(separator, start)) != S::npos; start = hit + 1) {
    pieces.push_back(text.substr(start, hit - start));
  }
  pieces.push_back(text.substr(start));
  return pieces;
}

template <class S>
S join(const std::vector<S>& pieces, const S& separator) {
  S out;
  for (size_t i = 0; i < pieces.size(); ++i) {
    if (i) out += separator;
    out += pieces[i];
  }
  return out;
}

}  // namespace str
