#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>

#include "platform/FileSystem.h"
#include "platform/StdioFile.h"
#include "runtime/PathBytes.h"
#include "runtime/UniqueFd_posix.h"

namespace platform {
namespace {

using sys::path::DecodeBytes;
using sys::path::EncodeBytes;

SystemTime UtcOf(time_t seconds) {
  struct tm t {};
  gmtime_r(&seconds, &t);
  return {t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec};
}

std::optional<FileInfo> Describe(const std::string& path, std::wstring name) {
  struct stat st {};
  if (lstat(path.c_str(), &st) != 0) return std::nullopt;
  FileInfo info;
  info.name = std::move(name);
  info.isLink = S_ISLNK(st.st_mode);
  info.isFolder = S_ISDIR(st.st_mode);
  info.size = static_cast<uint64_t>(st.st_size);
  info.modified = UtcOf(st.st_mtime);
  return info;
}

class PosixFileSystem : public FileSystem {
 public:
  wchar_t Separator() const override { return L'/'; }
  std::wstring RootPath() const override { return L"/"; }
  std::wstring CompareKey(const std::wstring& name) const override { return name; }

  // Linux keeps its driver modules, and their index files, per kernel release.
  std::wstring DriversFolder() const override {
    struct utsname names {};
    uname(&names);
    return L"/lib/modules/" + DecodeBytes(names.release) + L"/";
  }

  std::optional<std::vector<FileInfo>> ListFolder(const std::wstring& folderPath) override {
    const std::string folder = EncodeBytes(folderPath);
    DIR* dir = opendir(folder.c_str());
    if (!dir) return std::nullopt;
    std::vector<FileInfo> entries;
    while (dirent* entry = readdir(dir)) {
      const std::string name = entry->d_name;
      if (name == "." || name == "..") continue;
      // An entry that vanished between readdir and lstat is simply not listed.
      if (auto info = Describe(folder + name, DecodeBytes(name))) entries.push_back(std::move(*info));
    }
    closedir(dir);
    return entries;
  }

  std::optional<FileInfo> FindFile(const std::wstring& path) override {
    std::string bytes = EncodeBytes(path);
    while (bytes.size() > 1 && bytes.back() == '/') bytes.pop_back();
    const size_t slash = bytes.rfind('/');
    return Describe(bytes, DecodeBytes(slash == std::string::npos ? bytes : bytes.substr(slash + 1)));
  }

  // Only regular files are read: a FIFO named like a log would block the
  // open until a writer came, and a device would never end.
  std::unique_ptr<ReadableFile> OpenRead(const std::wstring& path) override {
    sys::UniqueFd fd(open(EncodeBytes(path).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!fd) return nullptr;
    struct stat st {};
    FILE* file = fstat(fd.get(), &st) == 0 && S_ISREG(st.st_mode) ? fdopen(fd.get(), "rb") : nullptr;
    if (!file) return nullptr;
    (void)fd.release();  // the FILE closes it now
    return std::make_unique<StdioFile>(file);
  }
};

}  // namespace

int64_t Tell64(FILE* file) { return ftello(file); }
int Seek64(FILE* file, int64_t offset, int origin) { return fseeko(file, static_cast<off_t>(offset), origin); }

FileSystem& HostFileSystem() {
  static PosixFileSystem files;
  return files;
}

}  // namespace platform
