#include <gtest/gtest.h>

#include "report/FileTree.h"
#include "testing/MemoryFileSystem.h"

namespace {

using platform::MemoryFileSystem;

std::vector<std::wstring> ChildNames(const FileTreeNode& node) {
  std::vector<std::wstring> names;
  for (const auto& child : node.children) names.push_back(child->name);
  return names;
}

TEST(FileTree, FindOrAddPathBuildsNodesWithTheirPaths) {
  MemoryFileSystem files;
  FileTree tree(files);
  FileTreeNode* drivers = tree.FindOrAddPath(&tree, L"C:\\Windows\\system32\\drivers\\");
  EXPECT_EQ(drivers->name, L"drivers");
  EXPECT_EQ(drivers->path, L"C:\\Windows\\system32\\drivers\\");
  EXPECT_EQ(tree.children.front()->path, L"C:\\");
  // Doubled separators and a second spelling lead to the same node.
  EXPECT_EQ(tree.FindOrAddPath(&tree, L"\\c:\\\\WINDOWS\\System32\\DRIVERS\\\\"), drivers);
  EXPECT_EQ(ChildNames(tree), std::vector<std::wstring>{L"C:"});
}

TEST(FileTree, LastComponentWithoutSeparatorIsAFileName) {
  MemoryFileSystem files;
  FileTree tree(files);
  FileTreeNode* data = tree.FindOrAddPath(&tree, L"C:\\Data\\Logs");
  EXPECT_EQ(data->path, L"C:\\Data\\");
  EXPECT_EQ(data->files, std::vector<std::wstring>{L"Logs"});
}

TEST(FileTree, WindowsNamesIgnoreCaseAndKeepTheFirstSpelling) {
  MemoryFileSystem files(MemoryFileSystem::Style::kWindows);
  FileTree tree(files);
  tree.FindOrAddPath(&tree, L"C:\\Data\\");
  tree.FindOrAddPath(&tree, L"C:\\DATA\\");
  tree.AddFileName(&tree, L"a.log");
  tree.AddFileName(&tree, L"A.LOG");
  EXPECT_EQ(ChildNames(*tree.children.front()), std::vector<std::wstring>{L"Data"});
  EXPECT_EQ(tree.files, std::vector<std::wstring>{L"a.log"});
}

TEST(FileTree, LinuxNamesAreCaseSensitive) {
  MemoryFileSystem files(MemoryFileSystem::Style::kPosix);
  FileTree tree(files);
  FileTreeNode* logs = tree.FindOrAddPath(&tree, L"/var/log/");
  EXPECT_EQ(logs->path, L"/var/log/");
  tree.AddFileName(logs, L"a.log");
  tree.AddFileName(logs, L"A.log");
  EXPECT_EQ(logs->files, (std::vector<std::wstring>{L"a.log", L"A.log"}));
}

TEST(FileTree, AddFolderContentsListsFilesAndOptionallySubfolders) {
  MemoryFileSystem files;
  files.AddFile(L"C:\\App\\a.txt", "x");
  files.AddFile(L"C:\\App\\sub\\b.log", "y");
  files.AddFile(L"C:\\App\\z.dll", "z");
  FileTree tree(files);
  tree.AddFolderContents(&tree, L"C:\\App\\", false);
  FileTreeNode* app = tree.FindOrAddPath(&tree, L"C:\\App\\");
  EXPECT_EQ(app->files, (std::vector<std::wstring>{L"a.txt", L"z.dll"}));
  EXPECT_TRUE(app->children.empty());

  tree.AddFolderContents(&tree, L"C:\\App\\", true);
  ASSERT_EQ(ChildNames(*app), std::vector<std::wstring>{L"sub"});
  EXPECT_EQ(app->children.front()->files, std::vector<std::wstring>{L"b.log"});
  EXPECT_EQ(app->files.size(), 2u) << "listing twice adds nothing twice";
}

TEST(FileTree, LinksAreListedButNeverFollowed) {
  MemoryFileSystem files(MemoryFileSystem::Style::kPosix);
  files.AddFile(L"/opt/app/bin/tool", "t");
  files.AddLink(L"/opt/app/bin/up");  // a link back to its own parent
  FileTree tree(files);
  tree.AddFolderContents(&tree, L"/opt/app/", true);
  FileTreeNode* bin = tree.FindOrAddPath(&tree, L"/opt/app/bin/");
  EXPECT_EQ(bin->files, (std::vector<std::wstring>{L"tool", L"up"}));
  EXPECT_TRUE(bin->children.empty());
}

TEST(FileTree, UnreadableFolderKeepsTheNodesOnTheWay) {
  MemoryFileSystem files;
  files.AddFile(L"C:\\Locked\\secret.txt", "s");
  files.Deny(L"C:\\Locked");
  FileTree tree(files);
  tree.AddFolderContents(&tree, L"C:\\Locked\\", true);
  FileTreeNode* locked = tree.FindOrAddPath(&tree, L"C:\\Locked\\");
  EXPECT_TRUE(locked->files.empty());
  tree.AddFolderContents(&tree, L"C:\\Missing\\Deep\\", true);
  EXPECT_EQ(ChildNames(*tree.children.front()), (std::vector<std::wstring>{L"Locked", L"Missing"}));
}

TEST(FileTree, ClearEmptiesTheRoot) {
  MemoryFileSystem files;
  FileTree tree(files);
  tree.FindOrAddPath(&tree, L"C:\\x\\f");
  tree.AddFileName(&tree, L"top");
  tree.Clear();
  EXPECT_TRUE(tree.children.empty());
  EXPECT_TRUE(tree.files.empty());
  tree.FindOrAddPath(&tree, L"C:\\x\\");
  EXPECT_EQ(tree.children.size(), 1u);
}

}  // namespace
