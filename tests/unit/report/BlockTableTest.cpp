#include <gtest/gtest.h>

#include <algorithm>

#include "platform/memory/MemoryMachine.h"
#include "report/ReportBuilder.h"

namespace {

std::vector<std::wstring> Messages(BlockMask mask) {
  platform::MemoryMachine machine;
  ReportBuilder builder(mask, false, machine.machine());
  builder.Reset();
  std::vector<std::wstring> messages;
  while (builder.HasMore()) {
    messages.push_back(builder.CurrentMessage());
    builder.RunCurrent();
  }
  return messages;
}

TEST(BlockTable, MachineBlocksRunInTheirOrder) {
  const std::vector<std::wstring> order = {
      L"Scanning network settings...",  L"Checking available disk space...",
      L"Scanning system Registry...",   L"Checking for installed VANTOREL products...",
      L"Scanning file system...",
  };
  std::vector<std::wstring> seen;
  for (const auto& message : Messages(0x0FFFFFFF)) {
    if (std::find(order.begin(), order.end(), message) != order.end()) seen.push_back(message);
  }
  EXPECT_EQ(seen, order);
  EXPECT_EQ(Messages(0x8), std::vector<std::wstring>{L"Checking available disk space..."});
  EXPECT_EQ(Messages(0x20 | 0x80), (std::vector<std::wstring>{order[3], order[4]}));
  EXPECT_TRUE(Messages(0x1 | 0x4 | 0x40 | 0x400).empty());
}

// The products block notes its folders in the builder's tree before the file
// system block writes that tree out.
TEST(BlockTable, ProductFoldersReachTheFileSystemBlock) {
  platform::MemoryMachine machine;
  machine.registry.SetString(platform::RegistryRoot::kLocalMachine, L"Software\\VANTOREL\\Tally", L"InstallLocation",
                             L"C:\\V\\");
  machine.files.AddFile(L"C:\\V\\tally.txt", "hello");
  ReportBuilder builder(0x20 | 0x80, false, machine.machine());
  builder.Reset();
  while (builder.RunCurrent()) {
  }
  EXPECT_NE(builder.BlockText().find(L"<dir name=\"V\">\r\n      <file name=\"tally.txt\" bytes=\"5\""), std::wstring::npos)
      << std::string(builder.BlockText().begin(), builder.BlockText().end());
}

}  // namespace
