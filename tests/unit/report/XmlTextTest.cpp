#include <gtest/gtest.h>

#include "report/XmlText.h"
#include "runtime/Str.h"

namespace {

// Markup becomes entities, tab, CR and what lies past 0x7F references, and
// what XML cannot hold is dropped (both halves of a surrogate pair on every
// host); long writers append the same ASCII text to wide or narrow text.
TEST(XmlEscape, EntitiesReferencesAndDrops) {
  std::wstring smiley;
  str::AppendCodePoint(smiley, 0x1F600);
  const std::pair<std::wstring, std::wstring> cases[] = {
      {L"", L""}, {L"\ta<b\n\r", L"&#009;a&lt;b\n&#013;"}, {L"\"&'<>", L"&quot;&amp;&apos;&lt;&gt;"},
      {L"caf\u00e9 \u20ac\x80\x7F", L"caf&#233; &#8364;&#128;\x7F"},
      {std::wstring(L"a\x01\x1f" L"b") + wchar_t(0xFFFE) + wchar_t(0xFFFF), L"ab"},
      {L"a" + smiley + L"b" + wchar_t(0xD800) + L"c", L"abc"}};
  for (const auto& [text, expected] : cases) {
    EXPECT_EQ(XmlEscape(text), expected) << str::as_u8string(expected);
    std::wstring wide = L"kept|";
    std::string narrow = "kept|";
    AppendXmlEscaped(wide, text);
    AppendXmlEscaped(narrow, text);
    EXPECT_EQ(wide + str::as_wstring(narrow), L"kept|" + expected + L"kept|" + expected);
  }
}

TEST(IsXmlChar, FollowsTheXmlCharacterRanges) {
  for (uint32_t allowed : {0x09u, 0xD7FFu, 0xFFFDu, 0x10FFFFu}) EXPECT_TRUE(IsXmlChar(allowed)) << allowed;
  for (uint32_t refused : {0x0Bu, 0xDFFFu, 0xFFFEu, 0x110000u}) EXPECT_FALSE(IsXmlChar(refused)) << refused;
}

// The first unit that reaches eight tenths; a step first rounds, ties going down.
TEST(FormatByteSize, UnitsAndRounding) {
  const std::tuple<uint64_t, uint64_t, const wchar_t*> cases[] = {
      {0, 0, L"0 B"},          {819, 0, L"819 B"},       {820, 0, L"1 KB"},
      {1023, 0, L"1 KB"},      {1536, 0, L"2 KB"},       {800ull << 20, 0, L"800 MB"},
      {858993460, 0, L"1 GB"}, {123456789012ull, 0, L"115 GB"}, {5ull << 40, 0, L"5 TB"},
      {4194304, 8388608, L"4194304 B"}, {4194305, 8388608, L"8 MB"}, {0, 8388608, L"0 B"},
      {(16ull << 30) - 1000, 8388608, L"16 GB"},
  };
  for (const auto& [bytes, step, expected] : cases) EXPECT_EQ(FormatByteSize(bytes, step), expected) << bytes;
}

}  // namespace
