// The folders and file names a report lists. Names are compared the way the
// host's file system compares them (Windows ignores case, Linux does not);
// each node indexes its names by their compared form, so adding N names costs O(N).
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "report/NameIndex.h"

namespace platform {
class FileSystem;
}

struct FileTreeNode {
  std::wstring name;  // the component under which it was first added, as then spelled
  std::wstring path;  // parent's path + name + separator
  std::vector<std::unique_ptr<FileTreeNode>> children;  // in order of first addition
  std::vector<std::wstring> files;                      // in order of first addition

 private:
  friend class FileTree;
  NameIndex childIndex;
  NameIndex fileIndex;
};

// The tree is its own root node; the root stands for the file system's root
// ("" on Windows, where drives are its children; "/" on Linux).
class FileTree : public FileTreeNode {
 public:
  explicit FileTree(platform::FileSystem& files);

  // The node at which `path` ends, creating nodes on the way. A last
  // component not followed by a separator is added as a file name of the
  // node before it, and that node is returned.
  FileTreeNode* FindOrAddPath(FileTreeNode* node, const std::wstring& path);
  // Adds a file name unless one that compares equal is present.
  void AddFileName(FileTreeNode* node, const std::wstring& name);
  // Notes the folder at `path` (relative to node) and lists its files, and
  // with withSubfolders its subfolders' contents too. Links, junctions and
  // other reparse points are listed as entries and never descended into.
  void AddFolderContents(FileTreeNode* node, const std::wstring& path, bool withSubfolders);
  // Removes every folder and file name of the root.
  void Clear();

  platform::FileSystem& Files() const { return files_; }

 private:
  platform::FileSystem& files_;
};
