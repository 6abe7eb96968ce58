#include "platform/Management.h"

#include <cwctype>

namespace platform {
namespace {

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n'; }

// The next word of the query, blanks skipped; empty at the end.
std::wstring NextWord(const std::wstring& text, size_t& at) {
  while (at < text.size() && IsBlank(text[at])) ++at;
  const size_t start = at;
  while (at < text.size() && !IsBlank(text[at])) ++at;
  return text.substr(start, at - start);
}

bool SameLetters(const std::wstring& word, const wchar_t* keyword) {
  size_t i = 0;
  for (; i < word.size() && keyword[i]; ++i) {
    if (static_cast<wchar_t>(std::towupper(word[i])) != keyword[i]) return false;
  }
  return i == word.size() && !keyword[i];
}

}  // namespace

bool ComSecurityReady(int32_t result) {
  constexpr int32_t kTooLate = static_cast<int32_t>(0x80010119);  // RPC_E_TOO_LATE
  return result >= 0 || result == kTooLate;
}

std::wstring SelectAllClass(const std::wstring& query) {
  size_t at = 0;
  if (!SameLetters(NextWord(query, at), L"SELECT") || NextWord(query, at) != L"*" ||
      !SameLetters(NextWord(query, at), L"FROM")) {
    return std::wstring();
  }
  const std::wstring name = NextWord(query, at);
  return NextWord(query, at).empty() ? name : std::wstring();
}

std::vector<std::wstring> PropertyListObject::PropertyNames() {
  std::vector<std::wstring> names;
  for (const auto& property : properties_) names.push_back(property.first);
  return names;
}

std::wstring PropertyListObject::PropertyText(const std::wstring& name) {
  for (const auto& property : properties_) {
    if (property.first == name) return property.second;
  }
  return std::wstring();
}

}  // namespace platform
