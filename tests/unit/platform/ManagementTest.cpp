#include <gtest/gtest.h>

#include "platform/Management.h"
#include "testing/MemoryManagement.h"

namespace {

using platform::SelectAllClass;

TEST(SelectAllClass, ReadsTheClassOfASelectAllQuery) {
  EXPECT_EQ(SelectAllClass(L"SELECT * FROM Win32_Process"), L"Win32_Process");
  EXPECT_EQ(SelectAllClass(L"  select  *\tfrom Win32_Processor \r\n"), L"Win32_Processor");
  EXPECT_EQ(SelectAllClass(L"SELECT Name FROM Win32_Process"), L"");
  EXPECT_EQ(SelectAllClass(L"SELECT * FROM Win32_Process WHERE ProcessId = 4"), L"");
  EXPECT_EQ(SelectAllClass(L"SELECT * FROM"), L"");
  EXPECT_EQ(SelectAllClass(L""), L"");
  EXPECT_EQ(SelectAllClass(L"SELECTED * FROM X"), L"");
}

// A second CoInitializeSecurity in one process answers RPC_E_TOO_LATE; the
// first one's setting holds, so a later connection goes on.
TEST(ComSecurityReady, AcceptsSuccessAndTooLateOnly) {
  const struct {
    uint32_t result;
    bool ready;
  } cases[] = {{0, true}, {1, true}, {0x80010119, true}, {0x80010117, false}, {0x80070005, false},
               {0x8007000E, false}};
  for (const auto& c : cases) {
    EXPECT_EQ(platform::ComSecurityReady(static_cast<int32_t>(c.result)), c.ready) << std::hex << c.result;
  }
}

std::vector<std::wstring> NamesOf(platform::ManagementSession& session, const std::wstring& query) {
  std::vector<std::wstring> names;
  session.Query(query, [&](platform::ManagementObject& object) {
    for (const auto& name : object.PropertyNames()) names.push_back(name + L"=" + object.PropertyText(name));
  });
  return names;
}

TEST(MemoryManagement, AnswersClassesWithoutRegardToCase) {
  platform::MemoryManagement management;
  management.AddRow(L"Win32_Process", {{L"Name", L"a.exe"}, {L"ProcessId", L"4"}});
  std::unique_ptr<platform::ManagementSession> session;
  ASSERT_TRUE(management.Connect(session).ok());
  EXPECT_EQ(NamesOf(*session, L"SELECT * FROM win32_process"),
            (std::vector<std::wstring>{L"Name=a.exe", L"ProcessId=4"}));
  EXPECT_TRUE(NamesOf(*session, L"SELECT * FROM Win32_Service").empty());
  EXPECT_EQ(management.openSessions, 1);
  session.reset();
  EXPECT_EQ(management.openSessions, 0);
}

TEST(MemoryManagement, FailedConnectLeavesNoSession) {
  platform::MemoryManagement management;
  management.FailConnect(L"Failed to connect to WMI server");
  std::unique_ptr<platform::ManagementSession> session;
  const qtl::status status = management.Connect(session);
  ASSERT_FALSE(status.ok());
  EXPECT_EQ(status.get()->message, L"Failed to connect to WMI server");
  EXPECT_EQ(session, nullptr);
}

}  // namespace
