#include <gtest/gtest.h>

#include "report/BlockTable.h"
#include "report/FileTree.h"
#include "report/blocks/ProcessBlock.h"
#include "testing/MemoryMachine.h"

namespace {

TEST(ProcessBlock, OneLinePerProcessInNameOrder) {
  platform::MemoryMachine machine;
  machine.management.AddRow(L"Win32_Process", {{L"ProcessId", L"4"}, {L"Name", L"System"}, {L"CommandLine", L""}});
  machine.management.AddRow(L"Win32_Process", {{L"Name", L"a&b.exe"}, {L"ProcessId", L"812"}});
  dromika::ProcessBlock block(machine.machine());
  EXPECT_EQ(block.ProgressText(), L"Examining running processes...");
  EXPECT_EQ(block.Produce(),
            L"<processes>\r\n"
            L"  <wmi>\r\n"
            L"    <Win32_Process CommandLine=\"\" Name=\"System\" ProcessId=\"4\"/>\r\n"
            L"    <Win32_Process Name=\"a&amp;b.exe\" ProcessId=\"812\"/>\r\n"
            L"  </wmi>\r\n"
            L"</processes>\r\n");
  EXPECT_EQ(machine.management.queries, (std::vector<std::wstring>{L"SELECT * FROM Win32_Process"}));
  EXPECT_EQ(machine.management.openSessions, 0);
}

TEST(ProcessBlock, UnreachableSourceLeavesOneEmptyLine) {
  platform::MemoryMachine machine;
  machine.management.FailConnect(L"Failed CoInitializeEx");
  dromika::ProcessBlock block(machine.machine());
  EXPECT_EQ(block.Produce(), L"<processes>\r\n  <wmi>\r\n\r\n  </wmi>\r\n</processes>\r\n");
}

// The table hands the exclude flag to the system block only.
TEST(ProcessBlock, PersonalDataFlagChangesNothing) {
  platform::MemoryMachine machine;
  machine.management.AddRow(L"Win32_Process", {{L"Name", L"x"}, {L"CSName", L"DESK-1"}, {L"CommandLine", L"x -u ana"}});
  FileTree tree(machine.files);
  std::wstring texts[2];
  for (bool exclude : {false, true}) {
    for (const auto& row : BlockTable()) {
      if (row.bits & 0x800) {
        texts[exclude] = row.create(BlockContext{machine.machine(), tree, exclude, 0x800})->Produce();
      }
    }
  }
  EXPECT_EQ(texts[0], texts[1]);
  EXPECT_NE(texts[1].find(L"CSName=\"DESK-1\""), std::wstring::npos);
}

}  // namespace
