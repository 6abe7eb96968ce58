#include <gtest/gtest.h>

#include <algorithm>
#include <regex>

#include "Common/Meta.h"
#include "Common/SplitIds.h"
#include "runtime/Str.h"

namespace {

// The pattern SplitIds once used, kept as the reference for its results.
std::vector<std::wstring> SplitByPattern(const std::wstring& text) {
  static const std::wregex pattern(L"(?:^|[ ,;\\n\\r/\\\\]+)([^ ,;\\n\\r/\\\\]+)", std::regex::ECMAScript);
  std::vector<std::wstring> ids;
  for (std::wsregex_iterator it(text.begin(), text.end(), pattern), end; it != end; ++it) ids.push_back((*it)[1].str());
  std::sort(ids.begin(), ids.end(), str::Utf16Less());
  ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
  return ids;
}

std::vector<std::wstring> Split(const std::wstring& text) {
  std::vector<std::wstring> ids{L"stale"};
  SplitIds(ids, text);
  return ids;
}

TEST(SplitIds, EverySeparatorSplitsAndTheResultIsSortedAndDistinct) {
  EXPECT_EQ(Split(L"b, a;a\r\nc/d\\e"), (std::vector<std::wstring>{L"a", L"b", L"c", L"d", L"e"}));
  EXPECT_EQ(Split(L" ,;b;; a //"), (std::vector<std::wstring>{L"a", L"b"}));
}

TEST(SplitIds, NothingButSeparatorsGivesNothing) {
  EXPECT_TRUE(Split(L"").empty());
  EXPECT_TRUE(Split(L" ,;\n\r/\\").empty());
}

TEST(SplitIds, CaseIsKeptAndOtherWhiteSpaceBelongsToTheIdentifier) {
  EXPECT_EQ(Split(L"a A"), (std::vector<std::wstring>{L"A", L"a"}));
  EXPECT_EQ(Split(L"x\ty"), std::vector<std::wstring>{L"x\ty"});
  EXPECT_EQ(Split(L"ab abc ab"), (std::vector<std::wstring>{L"ab", L"abc"}));
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
  EXPECT_EQ(Split(L";" + identifier + L","), std::vector<std::wstring>{identifier});
  EXPECT_TRUE(Split(std::wstring(10u << 20, L';')).empty());
}

TEST(MetaMarkers, AssignmentReturnsItsOwnObject) {
  meta::MetaIsDefaultNever a, b;
  meta::MetaIsMissingValueNotSupported c, d;
  EXPECT_EQ(&(a = b), &a);
  EXPECT_EQ(&(c = d), &c);
}

}  // namespace
