#include <gtest/gtest.h>

#include <algorithm>

#include "report/FileTree.h"
#include "report/blocks/ProductsBlock.h"
#include "testing/MemoryMachine.h"

namespace {

using platform::RegistryRoot;

constexpr RegistryRoot kMachine = RegistryRoot::kLocalMachine;
const std::wstring kUninstall = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const std::wstring kMaker = L"Software\\VANTOREL\\";

class ProductsBlockTest : public ::testing::Test {
 protected:
  std::wstring Produce() { return dromika::ProductsBlock(machine.machine(), &tree).Produce(); }
  void Set(const std::wstring& key, const std::wstring& name, const std::wstring& text) {
    machine.registry.SetString(kMachine, key, name, text);
  }
  void Uninstall(const std::wstring& guid, const std::wstring& helpLink, const std::wstring& location) {
    Set(kUninstall + guid, L"HelpLink", helpLink);
    Set(kUninstall + guid, L"InstallLocation", location);
    Set(kUninstall + guid, L"DisplayName", L"Tally " + guid);
    Set(kUninstall + guid, L"DisplayVersion", L"10.2");
    Set(kUninstall + guid, L"Comments", L"R&D build");
  }
  std::vector<std::wstring> NotedFolders() {
    std::vector<std::wstring> paths;
    std::vector<const FileTreeNode*> pending{&tree};
    while (!pending.empty()) {
      const FileTreeNode* node = pending.back();
      pending.pop_back();
      if (!node->files.empty()) paths.push_back(node->path);
      for (const auto& child : node->children) pending.push_back(child.get());
    }
    return paths;
  }

  platform::MemoryMachine machine;
  FileTree tree{machine.files};
};

TEST_F(ProductsBlockTest, LocationWithoutFinalSeparatorListsOnlyTheProductFolder) {
  machine.files.AddFile(L"C:\\Program Files\\Tally\\tally.exe", "MZ");
  machine.files.AddFile(L"C:\\Program Files\\Unrelated\\big.log", "not ours");
  Uninstall(L"{A1}", L"https://vantorel.example/help", L"C:\\Program Files\\Tally");
  EXPECT_NE(Produce().find(L"installlocation=\"C:\\Program Files\\Tally\""), std::wstring::npos);
  EXPECT_EQ(NotedFolders(), std::vector<std::wstring>{L"C:\\Program Files\\Tally\\"});
}

TEST_F(ProductsBlockTest, NoKeysGivesTheBareContainer) { EXPECT_EQ(Produce(), L"<products>\n</products>\n"); }

TEST_F(ProductsBlockTest, UninstallEntriesAreListedByTheirHelpLink) {
  machine.files.AddFile(L"C:\\Apps\\Tally\\bin\\tally.exe", "MZ");
  Uninstall(L"{A1}", L"https://vantorel.example/help", L"C:\\Apps\\Tally\\");
  Uninstall(L"{B2}", L"https://VANTOREL.example/help", L"C:\\Apps\\Shouting\\");
  Uninstall(L"{C3}", L"https://vantorel.example/help", L"");
  Uninstall(L"{D4}", L"https://other.example/", L"C:\\Apps\\Other\\");
  Set(kUninstall + L"{E5}", L"InstallLocation", L"C:\\Apps\\NoLink\\");
  EXPECT_EQ(Produce(),
            L"<products>\n"
            L"  <product name=\"Tally {A1}\" installedversion=\"10.2\" comments=\"R&amp;D build\""
            L" installlocation=\"C:\\Apps\\Tally\\\" guid=\"{A1}\"/>\n"
            L"</products>\n");
  EXPECT_EQ(NotedFolders(), std::vector<std::wstring>{L"C:\\Apps\\Tally\\bin\\"});
}

TEST_F(ProductsBlockTest, MakerKeyIsWalkedDepthFirst) {
  Set(kMaker + L"Tally", L"InstallLocation", L"C:\\V\\Tally\\");
  Set(kMaker + L"Tally", L"ProductLabel", L"Tally <Pro>");
  Set(kMaker + L"Tally", L"ProductCode", L"{T}");
  Set(kMaker + L"Tally", L"Version", L"3.1");
  Set(kMaker + L"Tally\\Plugin", L"InstallFolder", L"C:\\V\\Plugin\\");
  Set(kMaker + L"Tally\\Plugin", L"ProductLabel", L"Plugin");
  Set(kMaker + L"Shell", L"ShellExInstallLocation", L"C:\\V\\Shell\\");
  Set(kMaker + L"Blank", L"InstallLocation", L"");
  Set(kMaker + L"Blank", L"InstallFolder", L"C:\\V\\NeverRead\\");
  machine.registry.SetDword(kMachine, kMaker + L"Numeric", L"InstallLocation", 7);
  Set(kMaker + L"Numeric\\Below", L"InstallLocation", L"C:\\V\\Below\\");
  machine.files.AddFile(L"C:\\V\\Tally\\a.txt", "a");
  machine.files.AddFile(L"C:\\V\\Plugin\\p.dll", "p");
  machine.files.AddFile(L"C:\\V\\NeverRead\\n.txt", "n");
  EXPECT_EQ(Produce(),
            L"<products>\n"
            L"  <product name=\"Tally &lt;Pro&gt;\" installedversion=\"3.1\" installlocation=\"C:\\V\\Tally\\\""
            L" guid=\"{T}\"/>\n"
            L"  <product name=\"Plugin\" installedversion=\"\" installlocation=\"C:\\V\\Plugin\\\" guid=\"\"/>\n"
            L"  <product name=\"\" installedversion=\"\" installlocation=\"C:\\V\\Shell\\\" guid=\"\"/>\n"
            L"  <product name=\"\" installedversion=\"\" installlocation=\"\" guid=\"\"/>\n"
            L"  <product name=\"\" installedversion=\"\" installlocation=\"C:\\V\\Below\\\" guid=\"\"/>\n"
            L"</products>\n");
  auto folders = NotedFolders();
  std::sort(folders.begin(), folders.end());
  EXPECT_EQ(folders, (std::vector<std::wstring>{L"C:\\V\\Plugin\\", L"C:\\V\\Tally\\"}));
}

TEST_F(ProductsBlockTest, OneProductMayBeListedFromBothPlaces) {
  Uninstall(L"{A1}", L"vantorel", L"C:\\T\\");
  Set(kMaker + L"Tally", L"InstallLocation", L"C:\\T\\");
  const std::wstring text = Produce();
  EXPECT_NE(text.find(L"comments=\"R&amp;D build\" installlocation=\"C:\\T\\\" guid=\"{A1}\"/>\n"), std::wstring::npos);
  EXPECT_NE(text.find(L"  <product name=\"\" installedversion=\"\" installlocation=\"C:\\T\\\" guid=\"\"/>\n"),
            std::wstring::npos);
}

TEST_F(ProductsBlockTest, UnreadableKeysAreSkipped) {
  Uninstall(L"{A1}", L"vantorel", L"C:\\T\\");
  machine.registry.DenyAccess(kMachine, kUninstall + L"{A1}");
  Set(kMaker + L"Closed\\Inner", L"InstallLocation", L"C:\\Inner\\");
  machine.registry.DenyAccess(kMachine, kMaker + L"Closed");
  EXPECT_EQ(Produce(), L"<products>\n</products>\n");
}

}  // namespace
