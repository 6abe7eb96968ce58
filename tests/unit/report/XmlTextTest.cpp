#include <gtest/gtest.h>

#include "report/XmlText.h"
#include "runtime/Str.h"

namespace {

std::wstring WithCodePoint(const std::wstring& before, char32_t cp, const std::wstring& after) {
  std::wstring text = before;
  str::AppendCodePoint(text, cp);
  return text + after;
}

TEST(XmlEscape, MarkupBecomesEntitiesAndControlsBecomeReferences) {
  EXPECT_EQ(XmlEscape(L""), L"");
  EXPECT_EQ(XmlEscape(L"\ta<b\n"), L"&#009;a&lt;b\n");
  EXPECT_EQ(XmlEscape(L"\"&'<>"), L"&quot;&amp;&apos;&lt;&gt;");
  EXPECT_EQ(XmlEscape(L"\r"), L"&#013;");
  EXPECT_EQ(XmlEscape(L"caf\u00e9 \u20ac"), L"caf&#233; &#8364;");
}

TEST(XmlEscape, DropsWhatXmlCannotHoldAndKeepsDel) {
  EXPECT_EQ(XmlEscape(std::wstring(L"a\x01\x1f" L"b")), L"ab");
  EXPECT_EQ(XmlEscape(std::wstring(1, wchar_t(0x7F))), std::wstring(1, wchar_t(0x7F)));
  EXPECT_EQ(XmlEscape(std::wstring(1, wchar_t(0x80))), L"&#128;");
  EXPECT_EQ(XmlEscape(std::wstring(L"x") + wchar_t(0xFFFE) + wchar_t(0xFFFF)), L"x");
  // A character outside the BMP is a surrogate pair in UTF-16: both halves go, on every host.
  EXPECT_EQ(XmlEscape(WithCodePoint(L"a", 0x1F600, L"b")), L"ab");
  EXPECT_EQ(XmlEscape(std::wstring(L"a") + wchar_t(0xD800) + L"b"), L"ab");
}

// Long writers append escaped text to what they have; the output is ASCII, so
// narrow text holds it unchanged.
TEST(AppendXmlEscaped, AppendsWhatXmlEscapeGivesToWideAndNarrowText) {
  std::wstring sample = L"plain run \t<&>\"' caf\u00e9\r\n\x01\u20ac";
  str::AppendCodePoint(sample, 0x1F600);
  sample += L"end";
  const std::wstring expected = XmlEscape(sample);
  EXPECT_EQ(expected, L"plain run &#009;&lt;&amp;&gt;&quot;&apos; caf&#233;&#013;\n&#8364;end");
  std::wstring wide = L"kept|";
  AppendXmlEscaped(wide, sample);
  EXPECT_EQ(wide, L"kept|" + expected);
  std::string narrow = "kept|";
  AppendXmlEscaped(narrow, sample);
  EXPECT_EQ(narrow, "kept|" + str::as_u8string(expected));
}

TEST(IsXmlChar, FollowsTheXmlCharacterRanges) {
  EXPECT_TRUE(IsXmlChar(0x09));
  EXPECT_FALSE(IsXmlChar(0x0B));
  EXPECT_TRUE(IsXmlChar(0xD7FF));
  EXPECT_FALSE(IsXmlChar(0xDFFF));
  EXPECT_TRUE(IsXmlChar(0xFFFD));
  EXPECT_FALSE(IsXmlChar(0xFFFE));
  EXPECT_TRUE(IsXmlChar(0x10FFFF));
  EXPECT_FALSE(IsXmlChar(0x110000));
}

TEST(FormatByteSize, PicksTheFirstUnitThatReachesEightTenths) {
  EXPECT_EQ(FormatByteSize(0, 0), L"0 B");
  EXPECT_EQ(FormatByteSize(819, 0), L"819 B");
  EXPECT_EQ(FormatByteSize(820, 0), L"1 KB");
  EXPECT_EQ(FormatByteSize(1023, 0), L"1 KB");
  EXPECT_EQ(FormatByteSize(1536, 0), L"2 KB");
  EXPECT_EQ(FormatByteSize(800ull << 20, 0), L"800 MB");
  EXPECT_EQ(FormatByteSize(858993460, 0), L"1 GB");
  EXPECT_EQ(FormatByteSize(123456789012ull, 0), L"115 GB");
  EXPECT_EQ(FormatByteSize(5ull << 40, 0), L"5 TB");
}

TEST(FormatByteSize, RoundsToTheStepWithTiesGoingDown) {
  const uint64_t step = 8388608;
  EXPECT_EQ(FormatByteSize(4194304, step), L"4194304 B");
  EXPECT_EQ(FormatByteSize(4194305, step), L"8 MB");
  EXPECT_EQ(FormatByteSize(0, step), L"0 B");
  EXPECT_EQ(FormatByteSize((16ull << 30) - 1000, step), L"16 GB");
}

}  // namespace
