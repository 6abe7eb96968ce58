#include <gtest/gtest.h>

#include <string>

#include "Common/grammar_Type.h"
#include "runtime/Str.h"

namespace {

using qrn::grammar::GrammarOfType;

template <class T>
std::string Encoded(const T& value) {
  GrammarOfType<T> grammar;
  grammar.value = value;
  std::string text = "stale";
  grammar.Encode(text);
  return text;
}

template <class T>
T Decoded(const std::string& text) {
  GrammarOfType<T> grammar;
  grammar.Decode(text);
  return grammar.value;
}

TEST(GrammarOfTypeBool, OnlyTheLowerCaseTIsTrue) {
  EXPECT_EQ(Encoded(true), "t");
  EXPECT_EQ(Encoded(false), "f");
  EXPECT_TRUE(Decoded<bool>("t"));
  for (const char* text : {"T", "true", "1", "", "f", "tt", " t", "t "}) {
    EXPECT_FALSE(Decoded<bool>(text)) << text;
  }
}

TEST(GrammarOfTypeUnsigned, WritesExactlyTheDecimalDigits) {
  EXPECT_EQ(Encoded(0u), "0");
  EXPECT_EQ(Encoded(42u), "42");
  EXPECT_EQ(Encoded(0xFFFFFFFFu), "4294967295");
  EXPECT_EQ(Decoded<unsigned int>("4294967295"), 0xFFFFFFFFu);
  EXPECT_EQ(Decoded<unsigned int>("0"), 0u);
  EXPECT_EQ(Decoded<unsigned int>("007"), 7u);
}

TEST(GrammarOfTypeUnsigned, TextThatIsNotANumberIsASyntaxErrorAndKeepsTheValue) {
  for (const char* text : {"", "-1", "+1", " 1", "1 ", "0x10", "1.0", "4294967296", "abc", "\xc2\xb2"}) {
    GrammarOfType<unsigned int> grammar;
    grammar.value = 9;
    try {
      grammar.Decode(text);
      ADD_FAILURE() << "accepted " << text;
    } catch (const qtl::status_exception& e) {
      EXPECT_EQ(e.get_status().get()->message, L"Syntax error") << text;
      EXPECT_NE(e.get_status().text().find(str::as_wstring(text)), std::wstring::npos) << text;
    }
    EXPECT_EQ(grammar.value, 9u) << text;
  }
}

TEST(GrammarOfTypeWstring, TravelsAsUtf8) {
  std::wstring text = L"caf\u00e9 \u20ac ";
  str::AppendCodePoint(text, 0x1F600);
  const std::string utf8 = "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80";
  EXPECT_EQ(Encoded(text), utf8);
  EXPECT_EQ(Decoded<std::wstring>(utf8), text);
  EXPECT_EQ(Decoded<std::wstring>(""), L"");
}

TEST(GrammarOfTypeWstring, InvalidBytesBecomeReplacementCharactersAndTheRestSurvives) {
  EXPECT_EQ(Decoded<std::wstring>("a\xff" "b"), L"a\uFFFDb");
  EXPECT_EQ(Decoded<std::wstring>("x\xe2\x82"), L"x\uFFFD\uFFFD");
  EXPECT_EQ(Decoded<std::wstring>("\xc0\xaf!"), L"\uFFFD\uFFFD!");  // an overlong slash
  EXPECT_EQ(Decoded<std::wstring>("\xed\xa0\x80" "z"), L"\uFFFD\uFFFD\uFFFDz");  // a UTF-8 surrogate
}

TEST(GrammarOfTypeStatus, RoundTripsSuccessAndFailure) {
  EXPECT_EQ(Encoded(qtl::ok_status()), "");
  EXPECT_TRUE(Decoded<qtl::status>("").ok());

  qtl::status failure = qtl::status::error(L"Disk \u00e9; full & more");
  failure.mutable_detail()->texts[2] = L"third";
  failure.mutable_detail()->file = "Common\\sys_server_RemoteCallServer";
  failure.mutable_detail()->line = 168;
  const qtl::status back = Decoded<qtl::status>(Encoded(failure));
  ASSERT_FALSE(back.ok());
  EXPECT_EQ(back.get()->message, failure.get()->message);
  EXPECT_EQ(back.get()->texts, failure.get()->texts);
  EXPECT_EQ(back.get()->file, failure.get()->file);
  EXPECT_EQ(back.get()->line, 168);
}

TEST(GrammarOfTypeStatus, MalformedTextIsASyntaxError) {
  for (const char* text : {"only one item", "a;b;c;d;e;f;g;notanumber", "&"}) {
    EXPECT_THROW((void)Decoded<qtl::status>(text), qtl::status_exception) << text;
  }
}

}  // namespace
