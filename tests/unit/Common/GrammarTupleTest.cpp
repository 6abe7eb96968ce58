#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <tuple>

#include "Common/grammar_FunctionReturn.h"
#include "Common/grammar_Tuple.h"
#include "runtime/Str.h"

namespace {

using qrn::grammar::GrammarOfType;

template <class... E>
std::string Encoded(const std::tuple<E...>& value) {
  GrammarOfType<std::tuple<E...>> grammar;
  grammar.value = value;
  std::string text;
  grammar.Encode(text);
  return text;
}

template <class... E>
std::tuple<E...> Decoded(const std::string& text) {
  GrammarOfType<std::tuple<E...>> grammar;
  grammar.Decode(text);
  return grammar.value;
}

// The status a tuple of the wrong shape raises.
template <class Tuple>
qtl::status ShapeError(const std::string& text) {
  GrammarOfType<Tuple> grammar;
  try {
    grammar.Decode(text);
  } catch (const qtl::status_exception& e) {
    return e.get_status();
  }
  return qtl::ok_status();
}

TEST(GrammarTuple, UsesSemicolonAndAmpersand) {
  GrammarOfType<std::tuple<std::wstring>> grammar;
  EXPECT_EQ(grammar.separator, ';');
  EXPECT_EQ(grammar.escape, '&');
  EXPECT_EQ(Encoded(std::make_tuple(std::wstring(L"a;b"), 5u)), "a&;b;5");
  EXPECT_EQ(Encoded(std::make_tuple(std::wstring(L"x&"), true)), "x&&;t");
}

TEST(GrammarTuple, EmptyTextIsOneEmptyElement) {
  EXPECT_EQ(Encoded(std::make_tuple(std::wstring())), "");
  EXPECT_EQ(std::get<0>(Decoded<std::wstring>("")), L"");
  EXPECT_FALSE(std::get<0>(Decoded<bool>("")));
  // The empty text is no number: the caller hears of it rather than getting id 0.
  EXPECT_EQ(ShapeError<std::tuple<unsigned int>>("").get()->message, L"Syntax error");
}

TEST(GrammarTuple, WrongItemCountIsASyntaxErrorOfTheWholeText) {
  struct Case {
    std::string text;
    qtl::status error;
  };
  const Case cases[] = {
      {"", ShapeError<std::tuple<std::wstring, unsigned int>>("")},
      {"", ShapeError<std::tuple<std::wstring, std::wstring>>("")},
      {"a", ShapeError<std::tuple<std::wstring, unsigned int>>("a")},
      {"a;1;2", ShapeError<std::tuple<std::wstring, unsigned int>>("a;1;2")},
      {"a;b", ShapeError<std::tuple<std::wstring>>("a;b")},
      {"x", ShapeError<std::tuple<>>("x")},
      {";", ShapeError<std::tuple<>>(";")},
  };
  for (const auto& c : cases) {
    ASSERT_FALSE(c.error.ok()) << c.text;
    EXPECT_EQ(c.error.get()->message, L"Syntax error") << c.text;
    EXPECT_EQ(c.error.get()->texts[0], L"\"" + str::as_wstring(c.text) + L"\"");
    EXPECT_EQ(c.error.get()->file, std::string(stamps::kTupleItemCount.file));
    EXPECT_EQ(c.error.get()->line, stamps::kTupleItemCount.line);
  }
}

TEST(GrammarTuple, EmptyListAcceptsOnlyTheEmptyText) {
  GrammarOfType<std::tuple<>> grammar;
  EXPECT_NO_THROW(grammar.Decode(""));
  std::string text = "stale";
  grammar.Encode(text);
  EXPECT_EQ(text, "");
}

TEST(GrammarTuple, FailedDecodeLeavesEveryElementUnchanged) {
  GrammarOfType<std::tuple<std::wstring, unsigned int>> grammar;
  grammar.value = std::make_tuple(std::wstring(L"old"), 1u);
  EXPECT_THROW(grammar.Decode("new;notanumber"), qtl::status_exception);
  EXPECT_THROW(grammar.Decode("new"), qtl::status_exception);
  EXPECT_THROW(grammar.Decode("new;1&"), qtl::status_exception);  // a dangling escape
  EXPECT_EQ(grammar.value, std::make_tuple(std::wstring(L"old"), 1u));
}

TEST(GrammarTuple, RoundTripsSpecialCharactersAndNonAscii) {
  std::wstring emoji;
  str::AppendCodePoint(emoji, 0x1F600);
  const auto pairs = {
      std::make_tuple(std::wstring(L"a;b&c"), std::wstring(L"\u00e9;&;")),
      std::make_tuple(std::wstring(L";"), std::wstring(L"&")),
      std::make_tuple(std::wstring(), std::wstring()),
      std::make_tuple(std::wstring(L"&&;;"), emoji + L"\u20ac"),
  };
  for (const auto& value : pairs) {
    EXPECT_EQ((Decoded<std::wstring, std::wstring>(Encoded(value))), value);
  }
  const auto valued = std::make_tuple(std::wstring(L"file.open;&"), 0xFFFFFFFFu);
  EXPECT_EQ((Decoded<std::wstring, unsigned int>(Encoded(valued))), valued);
  EXPECT_EQ(std::get<0>(Decoded<std::wstring>(Encoded(std::make_tuple(std::wstring(L"&;x"))))), L"&;x");
}

TEST(GrammarTuple, CarriesStatusesInsideItems) {
  qtl::status failure = qtl::status::error(L"a;b&c");
  failure.mutable_detail()->line = 7;
  const auto back = Decoded<qtl::status, qtl::status>(Encoded(std::make_tuple(qtl::ok_status(), failure)));
  EXPECT_TRUE(std::get<0>(back).ok());
  ASSERT_FALSE(std::get<1>(back).ok());
  EXPECT_EQ(std::get<1>(back).get()->message, L"a;b&c");
  EXPECT_EQ(std::get<1>(back).get()->line, 7);
}

TEST(GrammarOfFunctionReturn, PairsTheStatusWithTheValueOrTheEmptyText) {
  using VoidReturn = qrn::grammar::GrammarOfFunctionReturn<std::function<void()>, void>;
  using IdReturn = qrn::grammar::GrammarOfFunctionReturn<std::function<unsigned int(std::wstring)>, unsigned int>;
  static_assert(std::is_same_v<VoidReturn::Value, std::string>);
  static_assert(std::is_base_of_v<qrn::grammar::GrammarFunctionSpecialCharacters, IdReturn>);
  IdReturn id;
  id.value = std::make_tuple(qtl::ok_status(), 12u);
  std::string text;
  id.Encode(text);
  EXPECT_EQ(text, ";12");
  VoidReturn done;
  done.Encode(text);
  EXPECT_EQ(text, ";");
}

}  // namespace
