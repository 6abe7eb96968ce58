#include <gtest/gtest.h>

#include <algorithm>
#include <regex>

#include "Common/SplitIds.h"
#include "runtime/Str.h"

namespace {

using Ids = std::vector<std::wstring>;

// The pattern SplitIds once used, kept as the reference for its results.
Ids SplitByPattern(const std::wstring& text) {
  static const std::wregex pattern(L"(?:^|[ ,;\\n\\r/\\\\]+)([^ ,;\\n\\r/\\\\]+)", std::regex::ECMAScript);
  Ids ids;
  for (std::wsregex_iterator it(text.begin(), text.end(), pattern), end; it != end; ++it) ids.push_back((*it)[1].str());
  std::sort(ids.begin(), ids.end(), str::Utf16Less());
  ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
  return ids;
}

Ids Split(const std::wstring& text) {
  Ids ids{L"stale"};
  SplitIds(ids, text);
  return ids;
}

// Separators split; case and other white space are kept; the result is sorted and distinct.
TEST(SplitIds, GivesThePatternsResultsForRandomShortTexts) {
  const std::wstring alphabet(L" ,;\n\r/\\aAb\t\0\u00e9.", 14);
  uint32_t seed = 20261206;
  for (int round = 0; round < 3000; ++round) {
    std::wstring text;
    seed = seed * 1103515245 + 12345;
    for (uint32_t n = (seed >> 16) % 12; n > 0; --n) {
      seed = seed * 1103515245 + 12345;
      text += alphabet[(seed >> 16) % alphabet.size()];
    }
    ASSERT_EQ(Split(text), SplitByPattern(text)) << str::as_u8string(text);
  }
}

TEST(SplitIds, TenMegabytesOfOneIdentifierOrOfSeparatorsDoNotOverflowTheStack) {
  const std::wstring identifier(10u << 20, L'x');
  EXPECT_EQ(Split(L";" + identifier + L","), Ids{identifier});
  EXPECT_EQ(Split(std::wstring(10u << 20, L';')), Ids{});
}

}  // namespace
