#include <windows.h>

#include <cstdio>

#include "platform/FileSystem.h"

namespace platform {
namespace {

constexpr DWORD kReparsePoint = FILE_ATTRIBUTE_REPARSE_POINT;

FileInfo Describe(const WIN32_FIND_DATAW& data) {
  FileInfo info;
  info.name = data.cFileName;
  info.isLink = (data.dwFileAttributes & kReparsePoint) != 0;
  info.isFolder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 && !info.isLink;
  info.size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  SYSTEMTIME t{};
  FileTimeToSystemTime(&data.ftLastWriteTime, &t);
  info.modified = {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond};
  return info;
}

class StdioFile : public ReadableFile {
 public:
  explicit StdioFile(FILE* file) : file_(file) {}
  ~StdioFile() override { fclose(file_); }
  int64_t Length() override {
    const int64_t here = _ftelli64(file_);
    if (here < 0 || _fseeki64(file_, 0, SEEK_END) != 0) return -1;
    const int64_t end = _ftelli64(file_);
    _fseeki64(file_, here, SEEK_SET);
    return end;
  }
  bool Seek(int64_t offset, bool fromEnd) override {
    return _fseeki64(file_, offset, fromEnd ? SEEK_END : SEEK_SET) == 0;
  }
  Chunk Read(size_t n) override {
    Chunk chunk;
    chunk.bytes.resize(n);
    errno = 0;
    chunk.bytes.resize(fread(chunk.bytes.data(), 1, n, file_));
    chunk.error = ferror(file_) != 0;
    chunk.eof = feof(file_) != 0;
    chunk.errorNumber = errno;
    return chunk;
  }

 private:
  FILE* file_;
};

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
    HANDLE search = FindFirstFileW((folderPath + L"*").c_str(), &data);
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
    HANDLE search = FindFirstFileW(path.c_str(), &data);
    if (search == INVALID_HANDLE_VALUE) return std::nullopt;
    FindClose(search);
    return Describe(data);
  }

  std::unique_ptr<ReadableFile> OpenRead(const std::wstring& path) override {
    FILE* file = _wfopen(path.c_str(), L"rb");
    return file ? std::make_unique<StdioFile>(file) : nullptr;
  }
};

}  // namespace

FileSystem& HostFileSystem() {
  static WindowsFileSystem files;
  return files;
}

}  // namespace platform
