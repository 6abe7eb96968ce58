#include <gtest/gtest.h>

#include "runtime/PathBytes.h"
#include "runtime/Str.h"

namespace {

std::wstring Of(std::initializer_list<char32_t> points) {
  std::wstring text;
  for (char32_t cp : points) str::AppendCodePoint(text, cp);
  return text;
}

TEST(Utf8, RoundTripsEveryPlaneAndEncodesALoneSurrogateAsReplacement) {
  const std::wstring text = Of({'a', 0xE9, 0x20AC, 0xFFFD, 0x10000, 0x1F600, 0x10FFFF});
  const std::string bytes = "a\xC3\xA9\xE2\x82\xAC\xEF\xBF\xBD\xF0\x90\x80\x80\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF";
  EXPECT_EQ(str::as_u8string(text), bytes);
  EXPECT_EQ(str::as_wstring(bytes), text);
  EXPECT_EQ(str::as_u8string(std::wstring(1, static_cast<wchar_t>(0xD800)) + L"x"), "\xEF\xBF\xBDx");
}

TEST(Utf8, InvalidBytesBecomeReplacementsOrLatin1WithoutLosingValidText) {
  const char32_t r = 0xFFFD;
  // Stray continuation, overlong form, encoded surrogate, truncated sequence, byte 0xFF, NUL.
  const std::pair<std::string, std::wstring> cases[] = {
      {"a\x80" "b", Of({'a', r, 'b'})}, {"\xC0\xAF", Of({r, r})},       {"\xED\xA0\x80", Of({r, r, r})},
      {"x\xE2\x82", Of({'x', r, r})},   {"\xFF", Of({r})},              {std::string("a\0b", 3), Of({'a', 0, 'b'})},
  };
  for (const auto& [bytes, text] : cases) EXPECT_EQ(str::as_wstring(bytes), text) << bytes;
  EXPECT_EQ(str::as_wstring("caf\xE9 \xC3\xA9", str::InvalidUtf8::kLatin1), Of({'c', 'a', 'f', 0xE9, ' ', 0xE9}));
  EXPECT_EQ(str::as_wstring("\xE2\x82", str::InvalidUtf8::kLatin1), Of({0xE2, 0x82}));
}

TEST(PathBytes, NamesThatAreNotUtf8RoundTripAndShowTheirBytesAsLatin1) {
  const std::string bytes = "caf\xC3\xA9-\xE9\xFF-\xE2\x82-\xED\xB2\x80-\xF0\x90\x82\x80";
  const std::wstring name = sys::path::DecodeBytes(bytes);
  EXPECT_EQ(name, Of({'c', 'a', 'f', 0xE9, '-', 0xDCE9, 0xDCFF, '-', 0xDCE2, 0xDC82, '-', 0xDCED, 0xDCB2, 0xDC80, '-',
                      0x10080}));
  EXPECT_EQ(sys::path::EncodeBytes(name), bytes);
  EXPECT_EQ(sys::path::Displayable(name),
            Of({'c', 'a', 'f', 0xE9, '-', 0xE9, 0xFF, '-', 0xE2, 0x82, '-', 0xED, 0xB2, 0x80, '-', 0x10080}));
}

TEST(StringTools, OrderReplaceSplitJoin) {
  // Utf16Less orders by UTF-16 units on every host: U+1F600 starts with 0xD83D, so it sorts before U+FF21.
  const std::pair<std::wstring, std::wstring> ordered[] = {{Of({0x1F600}), Of({0xFF21})}, {L"B", L"a"}, {L"a", L"ab"}};
  for (const auto& [a, b] : ordered) EXPECT_TRUE(str::Utf16Less()(a, b) && !str::Utf16Less()(b, a));
  EXPECT_FALSE(str::Utf16Less()(L"abc", L"abc"));
  std::wstring text = L"a\r\nb\r\n\r";
  str::replace_all(text, std::wstring(L"\r"), std::wstring());
  EXPECT_EQ(text, L"a\nb\n");
  std::string same = "aaa";
  str::replace_all(same, std::string("a"), std::string("aa"));  // what was put in is not replaced again
  EXPECT_EQ(same, "aaaaaa");
  EXPECT_EQ(str::split(std::wstring(L"a==b"), L'='), (std::vector<std::wstring>{L"a", L"", L"b"}));
  EXPECT_EQ(str::split(std::wstring(), L'='), std::vector<std::wstring>{L""});
  EXPECT_EQ(str::join(std::vector<std::wstring>{L"x", L"y"}, std::wstring(L",")), L"x,y");
}

}  // namespace
