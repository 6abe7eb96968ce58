#include <gtest/gtest.h>

#include "report/ReportBuilder.h"
#include "runtime/Status.h"
#include "testing/MemoryMachine.h"
#include "unit/report/ReportFixture.h"

namespace {

struct FakeBlock : dromika::Block {
  FakeBlock(std::wstring n, bool f) : name(std::move(n)), fails(f) {}
  std::wstring ProgressText() override { return L"Doing " + name + L"..."; }
  std::wstring Produce() override {
    if (fails) ThrowStatus(qtl::status::error(L"broken"), "test", 1);
    return L"<" + name + L"/>\r\n";
  }
  std::wstring name;
  bool fails;
};

// Rows "one", "two" and "three"; "three" fails when personal data is excluded.
template <int N>
std::unique_ptr<dromika::Block> Make(const BlockContext& context) {
  const wchar_t* names[] = {L"one", L"two", L"three"};
  return std::make_unique<FakeBlock>(names[N], context.excludePersonalData && N == 2);
}

// The progress lines of running every selected block, each ended by "|".
std::wstring RunAll(ReportBuilder& builder) {
  std::wstring progress;
  builder.RunAll([&](const std::wstring& line) { progress += line + L"|"; });
  return progress;
}

class ReportBuilderTest : public ::testing::Test {
 protected:
  ReportBuilderTest() {
    memory.program.versions[memory.program.modulePath] = L"10.2.0.7";
    builder.UseBlockTable(table);
  }

  const std::vector<BlockRow> table = {{0x2, &Make<0>}, {0x3000, &Make<1>}, {0x8, &Make<2>}};
  const std::wstring head =
      L"<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<dromika version='10.2' versionDisplay='10.2.0.7'>\r\n";
  platform::MemoryMachine memory;
  ReportBuilder builder{memory.machine()};
};

// Blocks run in table order; selecting again keeps the position, Reset starts over.
TEST_F(ReportBuilderTest, RunsSelectedBlocksInTableOrder) {
  builder.SelectBlocks(0x1 | 0x4 | 0x400, false);
  EXPECT_TRUE(!builder.HasMore() && builder.CurrentMessage().empty() && !builder.RunCurrent());
  EXPECT_EQ(builder.GetDocument(), str::as_u8string(head + L"</dromika>\r\n"));
  builder.SelectBlocks(0x8 | 0x1000 | 0x2, false);
  EXPECT_EQ(RunAll(builder), L"Doing one...|Doing two...|Doing three...|");
  EXPECT_EQ(builder.BlockText(), "<one/>\r\n<two/>\r\n<three/>\r\n");
  builder.Reset();
  builder.SelectBlocks(0x2 | 0x8, false);
  RunAll(builder);
  builder.SelectBlocks(0x2 | 0x1000 | 0x8, false);
  EXPECT_EQ(RunAll(builder), L"Doing three...|");
  EXPECT_EQ(builder.GetDocument(), str::as_u8string(head + L"<one/>\r\n<three/>\r\n<three/>\r\n</dromika>\r\n"));
}

TEST_F(ReportBuilderTest, AFailingBlockLeavesTextAndPositionAlone) {
  builder.SelectBlocks(0x2 | 0x8, true);
  EXPECT_TRUE(builder.RunCurrent());
  EXPECT_THROW(builder.RunCurrent(), qtl::status_exception);
  EXPECT_EQ(builder.BlockText(), "<one/>\r\n");
  EXPECT_EQ(builder.CurrentMessage(), L"Doing three...");
}

TEST(ShortVersion, TakesTheFirstTwoNumbers) {
  EXPECT_EQ(ShortVersion(L"10.2.0.7") + L" " + ShortVersion(L"10.2"), L"10.2 10.2");
  EXPECT_EQ(ShortVersion(L"10") + L" " + ShortVersion(L""), L"10.10 .");
}

// The real table: each block once, in its order, selected by any of its bits.
TEST(BlockTable, MasksSelectTheirBlocksInTableOrder) {
  const std::wstring system = L"Scanning system configuration...|";
  std::vector<std::pair<BlockMask, std::wstring>> cases = {
      {0x0FFFFFFF, L"Scanning network settings...|" + system +
                       L"Checking available disk space...|Scanning system Registry...|"
                       L"Checking for installed VANTOREL products...|Scanning file system...|"
                       L"Examining running processes...|"},
      {0x8 | 0x20 | 0x80, L"Checking available disk space...|Checking for installed VANTOREL products...|"
                          L"Scanning file system...|"},
      {0x800 | 0x1000, system + L"Examining running processes...|"},
      {0x3F000, system},
      {0x1 | 0x4 | 0x40 | 0x400, L""},
  };
  for (BlockMask bit = 0x1000; bit <= 0x20000; bit <<= 1) cases.push_back({bit, system});
  for (const auto& [mask, expected] : cases) {
    platform::MemoryMachine machine;
    ReportBuilder builder(mask, false, machine.machine());
    EXPECT_EQ(RunAll(builder), expected) << mask;
  }
}

// No module version, no WMI, nothing to list; a locale without names whose
// separators are unreadable or too long for four characters, the browser
// version stored as a number, and no environment at all.
TEST(Report, ABareMachineGivesEveryBlockEmpty) {
  platform::MemoryMachine machine;
  machine.management.FailConnect(L"Failed to connect to WMI server");
  machine.locale.userLcid = 1031;
  machine.locale.Set(1031, platform::kLocaleSThousand, L"\u00a0");
  machine.locale.Set(1031, platform::kLocaleSList, L"four");
  machine.registry.SetDword(platform::RegistryRoot::kLocalMachine, L"Software\\Microsoft\\Internet Explorer",
                            L"Version", 11);
  machine.environment.SetMissing(true);
  ReportBuilder builder(blockbits::kAll, false, machine.machine());
  builder.RunAll([](const std::wstring&) {});
  ExpectFixture(builder.GetDocument(), "bare-machine.xml");
}

}  // namespace
