#include <gtest/gtest.h>

#include "runtime/Convert.h"
#include "runtime/Format.h"

namespace {

TEST(Snprintf, HasPrintfMeaningAndTheWindowsSixtyFourBitModifier) {
  EXPECT_EQ(str::snprintf(L"%dd %d:%02d:%02d.%03d", 1, 2, 3, 4, 5), L"1d 2:03:04.005");
  EXPECT_EQ(str::snprintf(L"0x%08x (%u)", 1024u, 1024u), L"0x00000400 (1024)");
  EXPECT_EQ(str::snprintf(L"%s=\"%s\"", std::wstring(L"k"), std::wstring(L"v")), L"k=\"v\"");
  EXPECT_EQ(str::snprintf("%d%%", 5), "5%");
  EXPECT_EQ(str::snprintf(L"a %I64d b %I64d", 1LL << 40, -7LL), L"a 1099511627776 b -7");
  EXPECT_THROW(str::snprintf(L"%d %d", 1), qtl::status_exception);  // instead of reading garbage
}

// Integers are read and written, and floats written, where the grammar, the
// variant texts and the upload address use them; a float is read only here.
TEST(Convert, ReadsAFloat) {
  double real = 0;
  EXPECT_TRUE(math::impl::ConvertFloat<double>::from_string(real, std::string("2.5")) && real == 2.5);
}

}  // namespace
