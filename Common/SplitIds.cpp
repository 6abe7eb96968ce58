#include "Common/SplitIds.h"

#include <algorithm>
#include <regex>

#include "runtime/Format.h"
#include "runtime/Str.h"

void SplitIds(std::vector<std::wstring>& ids, const std::wstring& text) {
  static const std::wstring separators = L" ,;\n\r/\\";
  std::wstring escaped;
  for (wchar_t c : separators) escaped += std::wstring(L"\\") + c;
  const std::wstring lead = str::snprintf(L"(?:^|[%s]+)", escaped);
  static const std::wregex pattern(str::snprintf(L"%s([^%s]+)", lead, escaped), std::regex::ECMAScript);

  ids.clear();
  for (std::wsregex_iterator it(text.begin(), text.end(), pattern), end; it != end; ++it) {
    ids.push_back((*it)[1].str());
  }
  std::sort(ids.begin(), ids.end(), str::Utf16Less());
  ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
}
