#include <gtest/gtest.h>

#include "platform/VariantText.h"

namespace {

using platform::VariantText;
using platform::VariantValue;

VariantValue Integer(uint16_t type, int64_t value) {
  VariantValue v;
  v.type = type;
  v.integer = value;
  return v;
}

VariantValue Real(uint16_t type, double value) {
  VariantValue v;
  v.type = type;
  v.real = value;
  return v;
}

TEST(VariantText, IntegersAreDecimalInTheirOwnWidth) {
  EXPECT_EQ(VariantText(Integer(platform::kVtI2, -32768)), L"-32768");
  EXPECT_EQ(VariantText(Integer(platform::kVtI4, 1033)), L"1033");
  EXPECT_EQ(VariantText(Integer(platform::kVtUi1, 255)), L"255");
  EXPECT_EQ(VariantText(Integer(platform::kVtUi2, 65535)), L"65535");
  EXPECT_EQ(VariantText(Integer(platform::kVtUi4, 4294967295)), L"4294967295");
}

// WMI hands CIM uint32 values over as VT_I4: from 2^31 on they read negative.
TEST(VariantText, UnsignedValueDeliveredAsI4ReadsNegative) {
  EXPECT_EQ(VariantText(Integer(platform::kVtI4, 2147483648ll)), L"-2147483648");
  EXPECT_EQ(VariantText(Integer(platform::kVtI4, 4294967295ll)), L"-1");
}

TEST(VariantText, RealsKeepSevenOrSixteenDigits) {
  EXPECT_EQ(VariantText(Real(platform::kVtR4, 1.0 / 3)), L"0.3333333");
  EXPECT_EQ(VariantText(Real(platform::kVtR8, 1.0 / 3)), L"0.3333333333333333");
  EXPECT_EQ(VariantText(Real(platform::kVtR8, 2.5)), L"2.5");
  EXPECT_EQ(VariantText(Real(platform::kVtR4, 0.1)), L"0.1");
}

TEST(VariantText, BooleansDatesAndStrings) {
  EXPECT_EQ(VariantText(Integer(platform::kVtBool, -1)), L"TRUE");
  EXPECT_EQ(VariantText(Integer(platform::kVtBool, 0)), L"FALSE");
  EXPECT_EQ(VariantText(Real(platform::kVtDate, 45000.5)), L"date");
  VariantValue text;
  text.type = platform::kVtBstr;
  text.text = L"12345678901234567890";  // a 64-bit integer arrives as a string
  EXPECT_EQ(VariantText(text), L"12345678901234567890");
}

TEST(VariantText, StringArraysJoinWithCommas) {
  VariantValue array;
  array.type = platform::kVtBstrArray;
  EXPECT_EQ(VariantText(array), L"");
  array.elements = {L"en-US"};
  EXPECT_EQ(VariantText(array), L"en-US");
  array.elements = {L"a", L"", L"b c"};
  EXPECT_EQ(VariantText(array), L"a,,b c");
}

TEST(VariantText, NullEmptyAndOtherTypesAreEmpty) {
  EXPECT_EQ(VariantText(Integer(platform::kVtEmpty, 7)), L"");
  EXPECT_EQ(VariantText(Integer(platform::kVtNull, 7)), L"");
  EXPECT_EQ(VariantText(Integer(6, 7)), L"");      // VT_CY
  EXPECT_EQ(VariantText(Integer(16, 7)), L"");     // VT_I1
  EXPECT_EQ(VariantText(Integer(20, 7)), L"");     // VT_I8
  EXPECT_EQ(VariantText(Integer(21, 7)), L"");     // VT_UI8
  EXPECT_EQ(VariantText(Integer(13, 7)), L"");     // VT_UNKNOWN
  EXPECT_EQ(VariantText(Integer(0x2003, 7)), L"");  // VT_ARRAY | VT_I4
}

}  // namespace
