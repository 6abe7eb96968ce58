#include <gtest/gtest.h>

#include "platform/Management.h"
#include "report/Wmi.h"
#include "runtime/Str.h"

namespace {

std::vector<WmiRow> Query(const std::wstring& className) {
  return WmiQuery(OpenWmiConnection(&platform::HostManagement()), L"SELECT * FROM " + className);
}

TEST(HostManagement, SystemClassesGiveRows) {
  const auto system = Query(L"Win32_OperatingSystem");
  ASSERT_EQ(system.size(), 1u);
  EXPECT_FALSE(system[0].at(L"Caption").empty());
  EXPECT_FALSE(system[0].at(L"CSName").empty());
  EXPECT_GT(std::stoull(system[0].at(L"TotalVisibleMemorySize")), 0u);
  const std::wstring boot = system[0].at(L"LastBootUpTime");
  ASSERT_EQ(boot.size(), 25u) << str::as_u8string(boot);  // yyyymmddHHMMSS.mmmmmm+UUU
  EXPECT_EQ(boot[14], L'.');

  const auto processors = Query(L"Win32_Processor");
  ASSERT_GE(processors.size(), 1u);
  EXPECT_GT(std::stoul(processors[0].at(L"NumberOfLogicalProcessors")), 0u);
  EXPECT_TRUE(processors[0].count(L"Name"));

  const auto computer = Query(L"Win32_ComputerSystem");
  ASSERT_EQ(computer.size(), 1u);
  EXPECT_FALSE(computer[0].at(L"Name").empty());
  EXPECT_GT(std::stoull(computer[0].at(L"TotalPhysicalMemory")), 0u);
}

TEST(HostManagement, ProcessListHoldsThisProcess) {
  const auto processes = Query(L"Win32_Process");
  ASSERT_GT(processes.size(), 1u);
  size_t mine = 0;
  for (const auto& row : processes) {
    auto name = row.find(L"Name");
    if (name != row.end() && name->second.compare(0, 10, L"host_tests") == 0) ++mine;
  }
  EXPECT_GE(mine, 1u);  // another run of the tests may be listed too
}

// The system block and the process block each open and close a connection.
TEST(HostManagement, ConnectsAgainAfterDisconnecting) {
  for (int round = 0; round < 3; ++round) {
    WmiConnectionPtr connection = OpenWmiConnection(&platform::HostManagement());
    ASSERT_NE(connection, nullptr) << round;
    EXPECT_FALSE(WmiQuery(connection, L"SELECT * FROM Win32_OperatingSystem").empty());
  }
}

TEST(HostManagement, UnknownClassGivesNoRows) {
  EXPECT_TRUE(Query(L"Win32_NoSuchClass").empty());
}

}  // namespace
