#include "platform/Management.h"

#include <gtest/gtest.h>

namespace {

TEST(SelectAllClass, ReadsTheClassOfASelectAllQuery) {
  EXPECT_EQ(platform::SelectAllClass(L"SELECT * FROM Win32_Process"), L"Win32_Process");
  EXPECT_EQ(platform::SelectAllClass(L"  select  *\tfrom Win32_Processor \r\n"), L"Win32_Processor");
  for (const wchar_t* other : {L"SELECT Name FROM Win32_Process", L"SELECT * FROM Win32_Process WHERE ProcessId = 4",
                               L"SELECT * FROM", L"", L"SELECTED * FROM X"}) {
    EXPECT_EQ(platform::SelectAllClass(other), L"");
  }
}

// A second CoInitializeSecurity in one process answers RPC_E_TOO_LATE; the
// first one's setting holds, so a later connection goes on.
TEST(ComSecurityReady, AcceptsSuccessAndTooLateOnly) {
  const std::pair<uint32_t, bool> cases[] = {{0, true},           {1, true},           {0x80010119, true},
                                             {0x80010117, false}, {0x80070005, false}, {0x8007000E, false}};
  for (const auto& [result, ready] : cases) {
    EXPECT_EQ(platform::ComSecurityReady(static_cast<int32_t>(result)), ready) << std::hex << result;
  }
}

}  // namespace
