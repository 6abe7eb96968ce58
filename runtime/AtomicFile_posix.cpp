#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "runtime/AtomicFile.h"
#include "runtime/PathBytes.h"
#include "runtime/UniqueFd_posix.h"

namespace sys::file::detail {
namespace {

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// Some file systems cannot sync a file (EINVAL); their data is as safe as they
// allow.
int Sync(int fd) { return ::fsync(fd) == 0 || errno == EINVAL ? 0 : errno; }

// Without syncing the folder, the rename itself may not survive a power cut.
void SyncFolder(const std::string& folder) {
  const UniqueFd fd(::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (fd) (void)::fsync(fd.get());
}

class PosixTempFile : public TempFile {
 public:
  PosixTempFile(std::string target, std::string temp, UniqueFd fd)
      : target_(std::move(target)), temp_(std::move(temp)), fd_(std::move(fd)) {}
  ~PosixTempFile() override {
    if (!renamed_) ::unlink(temp_.c_str());
  }

  uint32_t Write(std::string_view bytes) override {
    while (!bytes.empty()) {
      const ssize_t n = ::write(fd_.get(), bytes.data(), bytes.size());
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return static_cast<uint32_t>(errno);
      if (n == 0) return EIO;
      bytes.remove_prefix(static_cast<size_t>(n));
    }
    return 0;
  }

  uint32_t Finish() override {
    int error = Sync(fd_.get());
    if (const int closed = fd_.close(); error == 0) error = closed;
    if (error == 0 && ::rename(temp_.c_str(), target_.c_str()) != 0) error = errno;
    if (error != 0) return static_cast<uint32_t>(error);
    renamed_ = true;
    SyncFolder(FolderOf(target_));
    return 0;
  }

 private:
  std::string target_, temp_;
  UniqueFd fd_;
  bool renamed_ = false;
};

}  // namespace

uint32_t CreateTemp(const std::wstring& path, std::unique_ptr<TempFile>& file) {
  std::string target = sys::path::EncodeBytes(path);
  std::string temp = FolderOf(target) + ".dromika-XXXXXX";
  // mkostemp creates the file exclusively with mode 0600.
  UniqueFd fd(::mkostemp(&temp[0], O_CLOEXEC));
  if (!fd) return static_cast<uint32_t>(errno);
  file = std::make_unique<PosixTempFile>(std::move(target), std::move(temp), std::move(fd));
  return 0;
}

}  // namespace sys::file::detail
