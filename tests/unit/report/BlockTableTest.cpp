#include <gtest/gtest.h>

#include "platform/memory/MemoryMachine.h"
#include "report/ReportBuilder.h"

namespace {

std::vector<std::wstring> ProgressLines(BlockMask mask) {
  platform::MemoryMachine machine;
  ReportBuilder builder(mask, false, machine.machine());
  builder.Reset();
  std::vector<std::wstring> lines;
  while (builder.HasMore()) {
    lines.push_back(builder.CurrentMessage());
    builder.RunCurrent();
  }
  return lines;
}

TEST(BlockTable, SystemBlockComesBeforeProcessBlock) {
  const std::vector<std::wstring> both = {L"Scanning system configuration...", L"Examining running processes..."};
  const auto all = ProgressLines(0x0FFFFFFF);
  EXPECT_LT(std::find(all.begin(), all.end(), both[0]), std::find(all.begin(), all.end(), both[1]));
  EXPECT_EQ(all.back(), both[1]);  // the process block runs last
  EXPECT_EQ(ProgressLines(0x1000 | 0x800), both);
}

TEST(BlockTable, AnySectionBitSelectsTheSystemBlockOnce) {
  for (BlockMask bit = 0x1000; bit <= 0x20000; bit <<= 1) {
    EXPECT_EQ(ProgressLines(bit), std::vector<std::wstring>{L"Scanning system configuration..."}) << bit;
  }
  EXPECT_EQ(ProgressLines(0x3F000).size(), 1u);
  EXPECT_EQ(ProgressLines(0x800), std::vector<std::wstring>{L"Examining running processes..."});
  EXPECT_TRUE(ProgressLines(0x400).empty());
}

}  // namespace
