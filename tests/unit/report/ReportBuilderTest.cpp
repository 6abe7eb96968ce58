#include <gtest/gtest.h>

#include <stdexcept>

#include "report/ReportBuilder.h"
#include "runtime/Status.h"
#include "testing/MemoryMachine.h"

namespace {

class FakeBlock : public dromika::Block {
 public:
  FakeBlock(std::wstring name, bool fails) : name_(std::move(name)), fails_(fails) {}
  std::wstring ProgressText() override { return L"Doing " + name_ + L"..."; }
  std::wstring Produce() override {
    if (fails_) ThrowStatus(qtl::status::error(L"broken"), "test", 1);
    return L"<" + name_ + L"/>\r\n";
  }

 private:
  std::wstring name_;
  bool fails_;
};

template <int N>
std::unique_ptr<dromika::Block> Make(const BlockContext& context) {
  const wchar_t* names[] = {L"one", L"two", L"three"};
  return std::make_unique<FakeBlock>(names[N], context.excludePersonalData && N == 2);
}

const std::vector<BlockRow> kTable = {{0x2, &Make<0>}, {0x3000, &Make<1>}, {0x8, &Make<2>}};

class ReportBuilderTest : public ::testing::Test {
 protected:
  ReportBuilderTest() {
    memory.program.versions[memory.program.modulePath] = L"10.2.0.7";
    memory.files.AddFile(L"C:\\Windows\\system32\\drivers\\a.sys", "");
    memory.files.AddFile(L"C:\\Windows\\system32\\drivers\\b.sys", "");
    memory.files.SetDriversFolder(L"C:\\Windows\\system32\\drivers\\");
    builder.UseBlockTable(kTable);
  }
  std::wstring RunAll() {
    std::wstring progress;
    builder.RunAll([&](const std::wstring& line) { progress += line + L"|"; });
    return progress;
  }

  platform::MemoryMachine memory;
  ReportBuilder builder{memory.machine()};
};

TEST_F(ReportBuilderTest, EmptySelectionGivesTheEnvelopeAround) {
  builder.SelectBlocks(0x1 | 0x4 | 0x400, false);
  EXPECT_FALSE(builder.HasMore());
  EXPECT_EQ(builder.CurrentMessage(), L"");
  EXPECT_FALSE(builder.RunCurrent());
  const std::wstring expected =
      L"<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<dromika version='10.2' versionDisplay='10.2.0.7'>\r\n"
      L"</dromika>\r\n";
  EXPECT_EQ(builder.GetDocument(), expected);
  EXPECT_EQ(builder.GetDocument(), expected);
}

TEST_F(ReportBuilderTest, RunsSelectedBlocksInTableOrder) {
  builder.SelectBlocks(0x8 | 0x1000 | 0x2, false);
  EXPECT_EQ(RunAll(), L"Doing one...|Doing two...|Doing three...|");
  EXPECT_EQ(builder.BlockText(), L"<one/>\r\n<two/>\r\n<three/>\r\n");
}

TEST_F(ReportBuilderTest, SelectingAgainKeepsThePosition) {
  builder.SelectBlocks(0x2 | 0x8, false);
  RunAll();
  builder.SelectBlocks(0x2 | 0x1000 | 0x8, false);
  EXPECT_EQ(RunAll(), L"Doing three...|");
  EXPECT_EQ(builder.BlockText(), L"<one/>\r\n<three/>\r\n<three/>\r\n");
  builder.Reset();
  EXPECT_EQ(RunAll(), L"Doing one...|Doing two...|Doing three...|");
}

TEST_F(ReportBuilderTest, AFailingBlockLeavesTextAndPositionAlone) {
  builder.SelectBlocks(0x2 | 0x8, true);
  builder.RunCurrent();
  EXPECT_THROW(builder.RunCurrent(), qtl::status_exception);
  EXPECT_EQ(builder.BlockText(), L"<one/>\r\n");
  EXPECT_EQ(builder.CurrentMessage(), L"Doing three...");
}

TEST_F(ReportBuilderTest, ResetNotesTheDriversFolderOnce) {
  builder.Reset();
  builder.Reset();
  const FileTreeNode* node = &builder.Tree();
  for (const wchar_t* name : {L"C:", L"Windows", L"system32", L"drivers"}) {
    ASSERT_EQ(node->children.size(), 1u) << name;
    node = node->children.front().get();
    EXPECT_EQ(node->name, name);
  }
  EXPECT_EQ(node->files, (std::vector<std::wstring>{L"a.sys", L"b.sys"}));
}

TEST_F(ReportBuilderTest, GroupWriterNestsWithTwoBlanksPerLevel) {
  builder.StartGroup(L"a");
  builder.SetDataPoint(L"x", L"1 & \"2\"");
  builder.StartGroup(L"b");
  builder.EndGroup();
  builder.EndGroup();
  builder.EndGroup();  // nothing open: ignored
  builder.StartGroup(L"c");
  builder.EndGroup();
  EXPECT_EQ(builder.GroupText(), L"<a x=\"1 &amp; &quot;2&quot;\">\r\n  <b />\r\n</a>\r\n<c />\r\n");
  EXPECT_NE(builder.GetDocument().find(L"'>\r\n<a x="), std::wstring::npos);
}

TEST(ShortVersion, TakesTheFirstTwoNumbers) {
  EXPECT_EQ(ShortVersion(L"10.2.0.7"), L"10.2");
  EXPECT_EQ(ShortVersion(L"10.2"), L"10.2");
  EXPECT_EQ(ShortVersion(L"10"), L"10.10");
  EXPECT_EQ(ShortVersion(L""), L".");
}

}  // namespace
