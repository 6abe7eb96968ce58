// Files and folders as the report reads them.
#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {

struct SystemTime {  // UTC, as FileTimeToSystemTime gives it
  int year = 1601, month = 1, day = 1, hour = 0, minute = 0, second = 0;
};

struct FileInfo {
  std::wstring name;      // as the file system spells it, no path
  bool isFolder = false;  // a real folder, not a link to one
  bool isLink = false;    // symbolic link, junction or mount point
  bool dataIsLocal = true;  // false for a placeholder: reading it would start a download
  uint64_t size = 0;
  SystemTime modified;
};

// An open file read as bytes, with the standard I/O library's semantics.
class ReadableFile {
 public:
  struct Chunk {
    std::string bytes;
    bool error = false;    // the stream's error indicator after the read
    bool eof = false;      // the stream's end-of-file indicator after the read
    int errorNumber = 0;   // errno after the read
  };
  virtual ~ReadableFile() = default;
  // Length in bytes, found by seeking to the end and back; -1 when that fails.
  virtual int64_t Length() = 0;
  // Moves to `offset` from the start, or from the end when fromEnd; false on failure.
  virtual bool Seek(int64_t offset, bool fromEnd) = 0;
  // Reads up to n bytes.
  virtual Chunk Read(size_t n) = 0;
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;
  // '\\' on Windows, '/' on Linux.
  virtual wchar_t Separator() const = 0;
  // What the file tree's root stands for: "" on Windows (drives hang below it), "/" on Linux.
  virtual std::wstring RootPath() const = 0;
  // Two names denote one entry exactly when their keys are equal
  // (Windows ignores case, Linux does not).
  virtual std::wstring CompareKey(const std::wstring& name) const = 0;
  // The folder whose driver files every report lists, ending with the separator.
  virtual std::wstring DriversFolder() const = 0;
  // The entries of a folder (path ends with the separator), "." and ".." left
  // out, in the file system's order; nullopt when it cannot be listed.
  virtual std::optional<std::vector<FileInfo>> ListFolder(const std::wstring& folderPath) = 0;
  // The entry at path itself (a link is not followed); nullopt when absent.
  virtual std::optional<FileInfo> FindFile(const std::wstring& path) = 0;
  // Opens a file for reading bytes; null when it cannot be opened.
  virtual std::unique_ptr<ReadableFile> OpenRead(const std::wstring& path) = 0;
};

FileSystem& HostFileSystem();

}  // namespace platform
