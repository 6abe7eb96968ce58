#include "runtime/Sequence.h"

#include <gtest/gtest.h>

namespace {

using qrn::grammar::Sequence;

std::string Encode(const std::vector<std::string>& items) {
  std::string text;
  Sequence(items).Encode(text);
  return text;
}

std::vector<std::string> Decode(const std::string& text) {
  Sequence sequence;
  sequence.Decode(text);
  return sequence.value;
}

TEST(Sequence, DecodeInvertsEncode) {
  const std::vector<std::vector<std::string>> lists = {
      {}, {"a"}, {"", ""}, {"a;b", "&", ";;&&", ""}, {"", "x", ""}, {"\xC3\xA9", std::string("nul\0inside", 10)}};
  for (const auto& items : lists) EXPECT_EQ(Decode(Encode(items)), items) << Encode(items);
  // The empty text is no items, and also what the single empty item encodes to.
  EXPECT_EQ(Encode({""}) + "|" + Encode({"a", "b"}), "|a;b");
  EXPECT_EQ(Decode(";"), (std::vector<std::string>{"", ""}));
}

TEST(Sequence, MalformedTextIsASyntaxErrorAndKeepsTheItems) {
  Sequence sequence({"kept"});
  for (const char* bad : {"&", "a&", "a&b", "&x;y"}) {
    EXPECT_THROW(sequence.Decode(bad), qtl::status_exception) << bad;
    EXPECT_EQ(sequence.value, std::vector<std::string>{"kept"});
  }
  for (const char* bad : {"only;three;items", "m;;;;;;f;notanumber", "&"}) {
    EXPECT_THROW(qrn::grammar::DecodeStatus(bad), qtl::status_exception) << bad;
  }
}

// Success is the empty text: every successful reply of server_mode_test.py carries it.
TEST(StatusText, FailureRoundTripsWithEveryField) {
  qtl::status original = qtl::status::error(L"Unable to save to C:\\a;b&c: denied");
  original.mutable_detail()->texts[2] = L"third \u00e9";
  original.mutable_detail()->file = "Qrn.Tally\\Qrn.Tally";
  original.mutable_detail()->line = 408;
  const qtl::status decoded = qrn::grammar::DecodeStatus(qrn::grammar::EncodeStatus(original));
  ASSERT_FALSE(decoded.ok());
  EXPECT_EQ(decoded.text(), original.text());  // the source and the line too
  EXPECT_EQ(decoded.get()->texts[2], L"third \u00e9");  // in its own place
}

}  // namespace
