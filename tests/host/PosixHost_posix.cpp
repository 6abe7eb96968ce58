#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>

#include "platform/FileSystem.h"
#include "platform/StaticRegistry.h"
#include "platform/linux/DmiBios.h"
#include "platform/linux/TextFiles.h"
#include "report/FileTree.h"
#include "report/SystemReaders.h"
#include "testing/MemoryTextFiles.h"
#include "testing/TempFolder.h"

namespace {

TEST(HostFileSystem, ListsRealFilesWithTheirNamesAndSizes) {
  testing::TempFolder folder;
  folder.Write(L"a.log", "12345");
  folder.Write(L"sub/b.txt", "");
  std::ofstream(folder.Root() / std::string("odd-\xE9.txt")) << "x";  // a name that is not UTF-8
  ASSERT_EQ(symlink("..", (folder.Root() / "sub" / "up").c_str()), 0);

  FileTree tree(platform::HostFileSystem());
  tree.AddFolderContents(&tree, folder.FolderPath(), true);
  FileTreeNode* root = tree.FindOrAddPath(&tree, folder.FolderPath());
  EXPECT_EQ(root->files.size(), 2u);
  ASSERT_EQ(root->children.size(), 1u);
  EXPECT_EQ(root->children.front()->files.size(), 2u) << "the link is listed, not followed";

  auto info = platform::HostFileSystem().FindFile(folder.Path(L"a.log"));
  ASSERT_TRUE(info);
  EXPECT_EQ(info->size, 5u);
  EXPECT_FALSE(info->isFolder);
  auto odd = platform::HostFileSystem().OpenRead(folder.FolderPath() + L"odd-" + wchar_t(0xDCE9) + L".txt");
  ASSERT_TRUE(odd);
  EXPECT_EQ(odd->Length(), 1);
}

TEST(DmiBios, BuildsTheBiosKeyFromCapturedFiles) {
  platform::MemoryTextFiles dmi;
  dmi.Add("/dmi/bios_vendor", "SeaBIOS\n");
  dmi.Add("/dmi/bios_date", "04/01/2014\n");
  dmi.Add("/dmi/product_name", "Standard PC (Q35 + ICH9, 2009)\n");
  platform::StaticRegistry registry;
  platform::FillBiosKeyFromDmi(registry, dmi, "/dmi");

  const std::wstring key = L"Hardware\\Description\\System\\BIOS";
  std::wstring text;
  ASSERT_TRUE(ReadRegistryString(registry, platform::RegistryRoot::kLocalMachine, key, L"BIOSVendor", text));
  EXPECT_EQ(text, L"SeaBIOS");
  ASSERT_TRUE(ReadRegistryString(registry, platform::RegistryRoot::kLocalMachine, key, L"BIOSReleaseDate", text));
  EXPECT_EQ(text, L"04/01/2014");
  EXPECT_EQ(registry.EnumValues(platform::RegistryRoot::kLocalMachine, key)->size(), 3u);

  platform::StaticRegistry none;
  platform::MemoryTextFiles noFiles;
  platform::FillBiosKeyFromDmi(none, noFiles, "/dmi");
  EXPECT_FALSE(none.CanOpen(platform::RegistryRoot::kLocalMachine, key)) << "no DMI: the key is absent";
}

}  // namespace
