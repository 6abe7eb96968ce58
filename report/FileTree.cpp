#include "report/FileTree.h"

#include <deque>
#include <utility>

#include "platform/FileSystem.h"

FileTree::FileTree(platform::FileSystem& files) : files_(files) { path = files.RootPath(); }

FileTreeNode* FileTree::FindOrAddPath(FileTreeNode* node, const std::wstring& text) {
  const wchar_t separator = files_.Separator();
  for (size_t at = 0;;) {
    const size_t start = text.find_first_not_of(separator, at);
    // Nothing but separators left: the path named this folder.
    if (start == std::wstring::npos) return node;
    const size_t end = text.find(separator, start);
    if (end == std::wstring::npos) {
      AddFileName(node, text.substr(at));
      return node;
    }
    const std::wstring component = text.substr(start, end - start);
    const size_t existing = node->childIndex.FindOrAdd(
        files_.CompareKey(component), node->children.size(),
        [&](size_t i) { return files_.CompareKey(node->children[i]->name); });
    if (existing == NameIndex::npos) {
      auto child = std::make_unique<FileTreeNode>();
      child->name = component;
      child->path = node->path + component + separator;
      node->children.push_back(std::move(child));
    }
    node = node->children[existing == NameIndex::npos ? node->children.size() - 1 : existing].get();
    at = end + 1;
    if (at == text.size()) return node;
  }
}

void FileTree::AddFileName(FileTreeNode* node, const std::wstring& name) {
  const size_t existing = node->fileIndex.FindOrAdd(files_.CompareKey(name), node->files.size(),
                                                    [&](size_t i) { return files_.CompareKey(node->files[i]); });
  if (existing == NameIndex::npos) node->files.push_back(name);
}

void FileTree::AddFolderContents(FileTreeNode* node, const std::wstring& text, bool withSubfolders) {
  // Breadth first with a queue: deep trees cannot exhaust the stack, and each
  // node still receives its entries in the order the file system lists them.
  std::deque<FileTreeNode*> pending{FindOrAddPath(node, text)};
  while (!pending.empty()) {
    FileTreeNode* folder = pending.front();
    pending.pop_front();
    auto entries = files_.ListFolder(folder->path);
    if (!entries) continue;
    for (const auto& entry : *entries) {
      if (!entry.isFolder) {
        AddFileName(folder, entry.name);
      } else if (withSubfolders) {
        pending.push_back(FindOrAddPath(folder, entry.name + files_.Separator()));
      }
    }
  }
}

void FileTree::Clear() {
  children.clear();
  files.clear();
  childIndex.Clear();
  fileIndex.Clear();
}
