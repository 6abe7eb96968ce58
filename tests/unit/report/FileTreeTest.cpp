#include <gtest/gtest.h>

#include "report/FileTree.h"
#include "testing/MemoryFileSystem.h"

namespace {

using platform::MemoryFileSystem;

// Each node's path and file names, depth first.
std::wstring Dump(const FileTreeNode& node) {
  std::wstring text = node.path + L":";
  for (const auto& file : node.files) text += L" " + file;
  text += L"\n";
  for (const auto& child : node.children) text += Dump(*child);
  return text;
}

// Windows names ignore case and keep their first spelling.
TEST(FileTree, FoldersAndNamesNotedOnce) {
  MemoryFileSystem files(MemoryFileSystem::Style::kWindows);
  for (const wchar_t* path : {L"C:\\App\\a.txt", L"C:\\App\\sub\\b.log", L"C:\\App\\z.dll", L"C:\\Tree\\t.txt",
                              L"C:\\Tree\\sub\\b.log", L"C:\\Locked\\secret.txt"}) {
    files.AddFile(path, "x");
  }
  files.Deny(L"C:\\Locked");
  FileTree tree(files);
  FileTreeNode* drivers = tree.FindOrAddPath(&tree, L"C:\\Windows\\system32\\drivers\\");
  EXPECT_EQ(tree.FindOrAddPath(&tree, L"\\c:\\\\WINDOWS\\System32\\DRIVERS\\\\"), drivers);
  // A last component without a separator is a file name of the folder before it.
  FileTreeNode* data = tree.FindOrAddPath(&tree, L"C:\\Data\\Logs");
  EXPECT_EQ(tree.FindOrAddPath(&tree, L"C:\\DATA\\"), data);
  for (const wchar_t* name : {L"a.log", L"A.LOG"}) tree.AddFileName(&tree, name);
  tree.AddFolderContents(&tree, L"C:\\App\\", false);
  for (int twice = 0; twice < 2; ++twice) tree.AddFolderContents(&tree, L"C:\\Tree\\", true);  // adds nothing twice
  tree.AddFolderContents(&tree, L"C:\\Locked\\", true);  // what cannot be listed keeps the nodes on the way
  tree.AddFolderContents(&tree, L"C:\\Missing\\Deep\\", true);
  EXPECT_EQ(Dump(tree),
            L": a.log\nC:\\:\nC:\\Windows\\:\nC:\\Windows\\system32\\:\nC:\\Windows\\system32\\drivers\\:\n"
            L"C:\\Data\\: Logs\nC:\\App\\: a.txt z.dll\nC:\\Tree\\: t.txt\nC:\\Tree\\sub\\: b.log\nC:\\Locked\\:\n"
            L"C:\\Missing\\:\nC:\\Missing\\Deep\\:\n");
  tree.Clear();
  tree.FindOrAddPath(&tree, L"C:\\x\\");
  EXPECT_EQ(Dump(tree), L":\nC:\\:\nC:\\x\\:\n");
}

}  // namespace
