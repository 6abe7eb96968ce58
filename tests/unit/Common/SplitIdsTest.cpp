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

TEST(SplitIds, SeparatorsSplitCaseAndOtherWhiteSpaceAreKeptAndTheResultIsSortedAndDistinct) {
  EXPECT_EQ(Split(L"b, a;a\r\nc/d\\e"), (Ids{L"a", L"b", L"c", L"d", L"e"}));
  EXPECT_EQ(Split(L"a A x\ty ab abc ab"), (Ids{L"A", L"a", L"ab", L"abc", L"x\ty"}));
}

TEST(SplitIds, GivesThePatternsResultsForRandomShortTexts) {
  const wchar_t alphabet[] = {L' ', L',', L';', L'\n', L'\r', L'/', L'\\', L'a', L'b', L'\t', L'\0', L'\u00e9', L'.'};
  uint32_t seed = 20261206;
  for (int round = 0; round < 3000; ++round) {
    std::wstring text;
    seed = seed * 1103515245 + 12345;
    for (uint32_t n = (seed >> 16) % 12; n > 0; --n) {
      seed = seed * 1103515245 + 12345;
      text += alphabet[(seed >> 16) % (sizeof alphabet / sizeof alphabet[0])];
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
