#include <windows.h>

#include <cstdio>

#include "platform/FileAttributes.h"
#include "platform/FileSystem.h"
#include "platform/StdioFile.h"
#include "runtime/LongPath.h"

namespace platform {
namespace {

using sys::file::ExtendedPath;

// dwReserved0 holds the reparse tag only when the entry is a reparse point.
FileInfo Describe(const WIN32_FIND_DATAW& data) {
  const bool reparse = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  const EntryKind kind = ClassifyWindowsEntry(data.dwFileAttributes, reparse ? data.dwReserved0 : 0);
  FileInfo info;
  info.name = data.cFileName;
  info.isLink = kind.isLink;
  info.isFolder = kind.isFolder;
  info.dataIsLocal = kind.dataIsLocal;
  info.size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  SYSTEMTIME t{};
  FileTimeToSystemTime(&data.ftLastWriteTime, &t);
  info.modified = {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond};
  return info;
}

class WindowsFileSystem : public FileSystem {
 public:
  wchar_t Separator() const override { return L'\\'; }
  std::wstring RootPath() const override { return L""; }

  std::wstring CompareKey(const std::wstring& name) const override {
    std::wstring key = name;
    if (!key.empty()) CharUpperBuffW(key.data(), static_cast<DWORD>(key.size()));
    return key;
  }

  std::wstring DriversFolder() const override {
    wchar_t root[MAX_PATH] = {};
    const DWORD n = GetEnvironmentVariableW(L"SystemRoot", root, MAX_PATH);
    return std::wstring(root, n < MAX_PATH ? n : 0) + L"\\system32\\drivers\\";
  }

  std::optional<std::vector<FileInfo>> ListFolder(const std::wstring& folderPath) override {
    WIN32_FIND_DATAW data{};
    HANDLE search = FindFirstFileW((ExtendedPath(folderPath) + L"*").c_str(), &data);
    if (search == INVALID_HANDLE_VALUE) return std::nullopt;
    std::vector<FileInfo> entries;
    do {
      const std::wstring name = data.cFileName;
      if (name != L"." && name != L"..") entries.push_back(Describe(data));
    } while (FindNextFileW(search, &data));
    FindClose(search);
    return entries;
  }

  std::optional<FileInfo> FindFile(const std::wstring& path) override {
    WIN32_FIND_DATAW data{};
    HANDLE search = FindFirstFileW(ExtendedPath(path).c_str(), &data);
    if (search == INVALID_HANDLE_VALUE) return std::nullopt;
    FindClose(search);
    return Describe(data);
  }

  std::unique_ptr<ReadableFile> OpenRead(const std::wstring& path) override {
    FILE* file = _wfopen(ExtendedPath(path).c_str(), L"rb");
    return file ? std::make_unique<StdioFile>(file) : nullptr;
  }
};

}  // namespace

int64_t Tell64(FILE* file) { return _ftelli64(file); }
int Seek64(FILE* file, int64_t offset, int origin) { return _fseeki64(file, offset, origin); }

FileSystem& HostFileSystem() {
  static WindowsFileSystem files;
  return files;
}

}  // namespace platform
