#include <gtest/gtest.h>

#include "Common/Meta.h"
#include "Common/SplitIds.h"

namespace {

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

TEST(MetaMarkers, AssignmentReturnsItsOwnObject) {
  meta::MetaIsDefaultNever a, b;
  meta::MetaIsMissingValueNotSupported c, d;
  EXPECT_EQ(&(a = b), &a);
  EXPECT_EQ(&(c = d), &c);
}

}  // namespace
