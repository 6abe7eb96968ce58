#include "Common/SplitIds.h"

#include <algorithm>

#include "runtime/Str.h"

namespace {
bool IsSeparator(wchar_t c) {
  return c == L' ' || c == L',' || c == L';' || c == L'\n' || c == L'\r' || c == L'/' || c == L'\\';
}
}  // namespace

// A plain scan: a backtracking pattern would recurse once per character and
// overflow the stack on a long identifier.
void SplitIds(std::vector<std::wstring>& ids, const std::wstring& text) {
  ids.clear();
  for (size_t at = 0; at < text.size();) {
    while (at < text.size() && IsSeparator(text[at])) ++at;
    const size_t start = at;
    while (at < text.size() && !IsSeparator(text[at])) ++at;
    if (at > start) ids.push_back(text.substr(start, at - start));
  }
  std::sort(ids.begin(), ids.end(), str::Utf16Less());
  ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
}
