#include <gtest/gtest.h>

#include "platform/Machine.h"
#include "report/FileTree.h"
#include "report/blocks/DiskSpaceBlock.h"
#include "report/blocks/ProductsBlock.h"
#include "report/blocks/RegistryBlock.h"

namespace {

// Linux has no uninstall list and no maker's keys: the products block is
// empty and adds no folder.
TEST(HostProductsBlockPosix, IsEmptyAndNotesNothing) {
  const auto& machine = platform::HostMachine();
  FileTree tree(*machine.files);
  EXPECT_EQ(dromika::ProductsBlock(machine, &tree).Produce(), L"<products>\n</products>\n");
  EXPECT_TRUE(tree.children.empty());
}

// Only the BIOS key exists, and only where the machine has DMI.
TEST(HostRegistryBlockPosix, HoldsAtMostTheBiosKey) {
  const std::wstring text = dromika::RegistryBlock(platform::HostMachine()).Produce();
  if (text != L"<registry>\n</registry>\n") {
    const std::wstring head =
        L"<registry>\n  <key name=\"HKLM\">\n    <key name=\"Hardware\">\n      <key name=\"Description\">\n"
        L"        <key name=\"System\">\n          <key name=\"BIOS\">\n";
    EXPECT_EQ(text.substr(0, head.size()), head);
    EXPECT_EQ(text.find(L"VANTOREL"), std::wstring::npos);
  }
}

// The root file system is always among the drives, named by its mount point.
TEST(HostDiskSpaceBlockPosix, ListsTheRootFileSystem) {
  const std::wstring text = dromika::DiskSpaceBlock(platform::HostMachine()).Produce();
  EXPECT_NE(text.find(L"  <disk type=\"fixed\" drive=\"/\" totalfreebytes=\""), std::wstring::npos);
}

}  // namespace
