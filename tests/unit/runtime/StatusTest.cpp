#include "runtime/Status.h"

#include <gtest/gtest.h>

#include <utility>

namespace {

TEST(Status, CopyIsAValueNotAReference) {
  qtl::status a = qtl::status::error(L"boom");
  qtl::status b = a;
  b.mutable_detail()->texts[0] = L"more";
  a.mutable_detail()->line = 3;
  EXPECT_EQ(a.text() + L"|" + b.text(), L"boom|boom; more");
  EXPECT_EQ(std::make_pair(a.get()->line, b.get()->line), std::make_pair(3, -1));
}

TEST(Status, ErrorTextsNameTheirSource) {
  try {
    ThrowStatus(QrnError::syntax("a;b"), "common\\grammar_Tuple", 102);
    FAIL();
  } catch (const qtl::status_exception& e) {
    EXPECT_EQ(e.get_status().text(), L"Syntax error; \"a;b\" (common\\grammar_Tuple:102)");
    EXPECT_STREQ(e.what(), "Syntax error; \"a;b\" (common\\grammar_Tuple:102)");
  }
  EXPECT_EQ(QrnError::internal("CommandLine::Assign", "Qrn.Tally\\Qrn.Tally", 356).text(),
            L"Internal error; CommandLine::Assign (Qrn.Tally\\Qrn.Tally:356)");
  EXPECT_EQ(QrnError::unexpected_exception("bad_alloc").text(), L"Unexpected exception; bad_alloc");
}

TEST(Status, QuotedTextsAreCutToAnExcerpt) {
  // As WireTest meets them in server_mode_test.py, and a two-byte character across the cut left out whole.
  const std::wstring whole(qtl::kMaxQuotedBytes, L'a');
  EXPECT_EQ(qtl::Excerpt(std::string(whole.begin(), whole.end())), L"\"" + whole + L"\"");
  const std::string split = std::string(qtl::kMaxQuotedBytes - 1, 'a') + "\xC3\xA9" + std::string(1 << 20, '&');
  EXPECT_EQ(QrnError::syntax(split).get()->texts[0], L"\"" + std::wstring(qtl::kMaxQuotedBytes - 1, L'a') + L"\"... (" +
                                                        std::to_wstring(split.size()) + L" bytes)");
}

}  // namespace
