#include "platform/Management.h"

#include <gtest/gtest.h>

#include "platform/VariantText.h"

namespace {

using namespace platform;

TEST(SelectAllClass, ReadsTheClassOfASelectAllQuery) {
  EXPECT_EQ(SelectAllClass(L"SELECT * FROM Win32_Process"), L"Win32_Process");
  EXPECT_EQ(SelectAllClass(L"  select  *\tfrom Win32_Processor \r\n"), L"Win32_Processor");
  for (const wchar_t* other : {L"SELECT Name FROM Win32_Process", L"SELECT * FROM Win32_Process WHERE ProcessId = 4",
                               L"SELECT * FROM", L"", L"SELECTED * FROM X"}) {
    EXPECT_EQ(SelectAllClass(other), L"");
  }
}

// A second CoInitializeSecurity in one process answers RPC_E_TOO_LATE; the
// first one's setting holds, so a later connection goes on.
TEST(ComSecurityReady, AcceptsSuccessAndTooLateOnly) {
  const std::pair<uint32_t, bool> cases[] = {{0, true},           {1, true},           {0x80010119, true},
                                             {0x80010117, false}, {0x80070005, false}, {0x8007000E, false}};
  for (const auto& [result, ready] : cases) EXPECT_EQ(ComSecurityReady(static_cast<int32_t>(result)), ready) << result;
}

VariantValue Of(uint16_t type, int64_t integer, double real = 0, std::vector<std::wstring> elements = {}) {
  // The text is read for VT_BSTR only: a 64-bit integer arrives as a string.
  return VariantValue{type, integer, real, L"12345678901234567890", std::move(elements)};
}

TEST(VariantText, EachTypeInItsOwnTextForm) {
  const std::pair<VariantValue, std::wstring> cases[] = {
      {Of(kVtI2, -32768), L"-32768"}, {Of(kVtI4, 1033), L"1033"}, {Of(kVtUi1, 255), L"255"},
      {Of(kVtUi2, 65535), L"65535"}, {Of(kVtUi4, 4294967295), L"4294967295"}, {Of(kVtR4, 0, 0.1), L"0.1"},
      // WMI hands CIM uint32 values over as VT_I4: from 2^31 on they read negative.
      {Of(kVtI4, 2147483648ll), L"-2147483648"}, {Of(kVtI4, 4294967295ll), L"-1"},
      {Of(kVtR4, 0, 1.0 / 3), L"0.3333333"}, {Of(kVtR8, 0, 1.0 / 3), L"0.3333333333333333"},
      {Of(kVtR8, 0, 2.5), L"2.5"}, {Of(kVtBool, -1), L"TRUE"}, {Of(kVtBool, 0), L"FALSE"}, {Of(kVtBstrArray, 0), L""},
      {Of(kVtBstr, 0), L"12345678901234567890"}, {Of(kVtDate, 0, 45000.5), L"date"},
      {Of(kVtBstrArray, 0, 0, {L"en-US"}), L"en-US"}, {Of(kVtBstrArray, 0, 0, {L"a", L"", L"b c"}), L"a,,b c"},
      // Empty, null, VT_CY, VT_UNKNOWN, VT_I1, VT_I8, VT_UI8, VT_ARRAY | VT_I4.
      {Of(kVtEmpty, 7), L""}, {Of(kVtNull, 7), L""}, {Of(6, 7), L""}, {Of(13, 7), L""},
      {Of(16, 7), L""}, {Of(20, 7), L""}, {Of(21, 7), L""}, {Of(0x2003, 7, 0, {L"x"}), L""}};
  for (const auto& [value, text] : cases) EXPECT_EQ(VariantText(value), text) << value.type;
}

}  // namespace
