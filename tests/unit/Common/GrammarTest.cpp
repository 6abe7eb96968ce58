#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "Common/grammar_Tuple.h"
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

// The status that decoding `text` raises (success when none); a failed
// decode must leave the value as it was.
template <class T>
qtl::status DecodeFailure(const std::string& text, const T& before = T()) {
  GrammarOfType<T> grammar;
  grammar.value = before;
  qtl::status raised;
  try {
    grammar.Decode(text);
  } catch (const qtl::status_exception& e) {
    raised = e.get_status();
    EXPECT_EQ(grammar.value, before) << text;
  }
  return raised;
}

std::wstring Quoted(const std::string& text) { return L"\"" + str::as_wstring(text) + L"\""; }

// Strings, statuses and escapes are checked where the calls travel: in the client and server tests.
TEST(GrammarOfType, OnlyTheLowerCaseTIsTrueAndBytesThatAreNotUtf8AreReplaced) {
  EXPECT_TRUE(Decoded<bool>("t"));
  for (const char* text : {"T", "true", "1", "", "f", "tt", " t", "t "}) EXPECT_FALSE(Decoded<bool>(text)) << text;
  EXPECT_EQ(Decoded<std::wstring>("a\xff" "b"), L"a\uFFFDb");  // never an error
}

TEST(GrammarOfType, NumbersAreDecimalDigitsAndAnythingElseIsASyntaxErrorQuotingIt) {
  EXPECT_EQ(std::make_pair(Decoded<unsigned int>("4294967295"), Decoded<unsigned int>("007")),
            std::make_pair(0xFFFFFFFFu, 7u));
  for (const char* text : {"", "-1", "+1", " 1", "1 ", "0x10", "1.0", "4294967296", "abc", "\xc2\xb2"}) {
    const qtl::status error = DecodeFailure<unsigned int>(text, 9u);
    ASSERT_FALSE(error.ok()) << text;
    EXPECT_EQ(error.get()->message + L" " + error.get()->texts[0], L"Syntax error " + Quoted(text));
  }
}

TEST(GrammarTuple, ItemsRoundTripAndTheEmptyTextIsOneEmptyElementButNoNumber) {
  const auto strings = std::make_tuple(std::wstring(L"&&;;"), std::wstring(L"\u00e9;&"), std::wstring());
  EXPECT_EQ(Decoded<std::decay_t<decltype(strings)>>(Encoded(strings)), strings);
  EXPECT_EQ(Decoded<std::tuple<std::wstring>>(""), std::make_tuple(std::wstring()));
  // The caller hears of it rather than getting id 0.
  EXPECT_EQ(DecodeFailure<std::tuple<unsigned int>>("").get()->message, L"Syntax error");
}

// The server tests end to end send "", "x" and "a;b" where calls take two, none and one item.
TEST(GrammarTuple, WrongItemCountIsASyntaxErrorOfTheWholeText) {
  using Pair = std::tuple<std::wstring, unsigned int>;
  const std::pair<std::string, qtl::status> cases[] = {
      {"", DecodeFailure<std::tuple<std::wstring, std::wstring>>("")}, {"a", DecodeFailure<Pair>("a")},
      {"a;1;2", DecodeFailure<Pair>("a;1;2")}, {";", DecodeFailure<std::tuple<>>(";")}};
  for (const auto& [text, error] : cases) {
    ASSERT_FALSE(error.ok()) << text;
    EXPECT_EQ(error.get()->message + L" " + error.get()->texts[0], L"Syntax error " + Quoted(text));
    EXPECT_EQ(std::tie(error.get()->file, error.get()->line),
              std::make_tuple(std::string(stamps::kTupleItemCount.file), stamps::kTupleItemCount.line));
  }
  // An item that does not read leaves every element unchanged too.
  for (const char* text : {"new;notanumber", "new;1&"}) EXPECT_FALSE(DecodeFailure(text, Pair(L"old", 1u)).ok());
}

}  // namespace
