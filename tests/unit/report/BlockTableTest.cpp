#include <gtest/gtest.h>

#include <algorithm>

#include "report/ReportBuilder.h"
#include "testing/MemoryMachine.h"

namespace {

std::vector<std::wstring> Messages(BlockMask mask) {
  platform::MemoryMachine machine;
  ReportBuilder builder(mask, false, machine.machine());
  builder.Reset();
  std::vector<std::wstring> messages;
  builder.RunAll([&](const std::wstring& line) { messages.push_back(line); });
  return messages;
}

TEST(BlockTable, TheFullMaskRunsEveryBlockOnceInTableOrder) {
  const std::vector<std::wstring> order = {
      L"Scanning network settings...",  L"Scanning system configuration...",
      L"Checking available disk space...", L"Scanning system Registry...",
      L"Checking for installed VANTOREL products...", L"Scanning file system...",
      L"Examining running processes...",
  };
  EXPECT_EQ(Messages(0x0FFFFFFF), order);
  EXPECT_EQ(Messages(0x8), std::vector<std::wstring>{order[2]});
  EXPECT_EQ(Messages(0x20 | 0x80), (std::vector<std::wstring>{order[4], order[5]}));
  EXPECT_EQ(Messages(0x800 | 0x1000), (std::vector<std::wstring>{order[1], order[6]}));
  EXPECT_TRUE(Messages(0x1 | 0x4 | 0x40 | 0x400).empty());
}

TEST(BlockTable, AnySectionBitSelectsTheSystemBlockOnce) {
  for (BlockMask bit = 0x1000; bit <= 0x20000; bit <<= 1) {
    EXPECT_EQ(Messages(bit), std::vector<std::wstring>{L"Scanning system configuration..."}) << bit;
  }
  EXPECT_EQ(Messages(0x3F000).size(), 1u);
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
  builder.RunAll([](const std::wstring&) {});
  EXPECT_NE(builder.BlockText().find(L"<dir name=\"V\">\r\n      <file name=\"tally.txt\" bytes=\"5\""), std::wstring::npos)
      << std::string(builder.BlockText().begin(), builder.BlockText().end());
}

}  // namespace
