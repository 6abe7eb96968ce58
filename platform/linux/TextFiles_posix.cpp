#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/linux/TextFiles.h"
#include "runtime/UniqueFd_posix.h"

namespace platform {
namespace {

class PosixTextFiles : public TextFiles {
 public:
  // /proc and /sys files report a size of 0 or 4096 whatever they hold, so
  // they are read until end of file rather than by their size.
  std::optional<std::string> Read(const std::string& path) override {
    sys::UniqueFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd) return std::nullopt;
    std::string bytes;
    char buffer[8192];
    for (;;) {
      const ssize_t n = read(fd.get(), buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return std::nullopt;  // a process that exits mid-read gives ESRCH
      if (n == 0) break;
      bytes.append(buffer, static_cast<size_t>(n));
    }
    return bytes;
  }

  std::optional<std::vector<std::string>> List(const std::string& folder) override {
    DIR* dir = opendir(folder.c_str());
    if (!dir) return std::nullopt;
    std::vector<std::string> names;
    while (const dirent* entry = readdir(dir)) {
      const std::string name = entry->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    closedir(dir);
    return names;
  }

  std::optional<std::string> Link(const std::string& path) override {
    std::string target(4096, '\0');
    const ssize_t n = readlink(path.c_str(), target.data(), target.size());
    if (n < 0 || static_cast<size_t>(n) >= target.size()) return std::nullopt;
    target.resize(static_cast<size_t>(n));
    return target;
  }
};

}  // namespace

TextFiles& HostTextFiles() {
  static PosixTextFiles files;
  return files;
}

}  // namespace platform
