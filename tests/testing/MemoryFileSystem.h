// A file system held in memory, in the Windows style ("C:\dir\", names
// compared without regard to case) or the Linux style ("/dir/", exact names).
#pragma once
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/FileSystem.h"

namespace platform {

class MemoryFileSystem : public FileSystem {
 public:
  enum class Style { kWindows, kPosix };
  explicit MemoryFileSystem(Style style = Style::kWindows);

  // Creates the folder and every folder on the way (path with or without final separator).
  void AddFolder(const std::wstring& path, SystemTime modified = {}) { Ensure(path, true, modified); }
  // Creates the file (and its folders); size defaults to the content's length.
  void AddFile(const std::wstring& path, std::string content, SystemTime modified = {},
               std::optional<uint64_t> size = std::nullopt);
  // A link entry: listed and found, never descended into.
  void AddLink(const std::wstring& path, SystemTime modified = {});
  // Removes the entry at path (the file "vanishes"); folders lose their contents too.
  void Remove(const std::wstring& path);
  // Listing the folder, or opening the file, fails from now on.
  void Deny(const std::wstring& path) { entries_[KeyOf(path)].denied = true; }
  // The file becomes a placeholder whose data is not on the disk.
  void MakeRemote(const std::wstring& path) { entries_[KeyOf(path)].info.dataIsLocal = false; }
  void SetDriversFolder(std::wstring folder) { driversFolder_ = std::move(folder); }

  wchar_t Separator() const override { return separator_; }
  std::wstring RootPath() const override { return style_ == Style::kWindows ? L"" : L"/"; }
  std::wstring CompareKey(const std::wstring& name) const override;
  std::wstring DriversFolder() const override { return driversFolder_; }
  std::optional<std::vector<FileInfo>> ListFolder(const std::wstring& folderPath) override;
  std::optional<FileInfo> FindFile(const std::wstring& path) override;
  std::unique_ptr<ReadableFile> OpenRead(const std::wstring& path) override;

 private:
  struct Entry {
    FileInfo info;
    std::string content;
    bool denied = false;
    std::vector<std::wstring> children;  // keys of the entries inside, in creation order
  };
  // The normalised key of a path: compared form, no trailing separator.
  std::wstring KeyOf(const std::wstring& path) const;
  std::wstring ParentKey(const std::wstring& key) const;
  Entry& Ensure(const std::wstring& path, bool folder, SystemTime modified);

  Style style_;
  wchar_t separator_;
  std::wstring driversFolder_;
  std::map<std::wstring, Entry> entries_;
};

}  // namespace platform
