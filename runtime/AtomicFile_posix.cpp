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

int WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    if (n == 0) return EIO;
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return 0;
}

// Some file systems cannot sync a file (EINVAL); their data is as safe as they allow.
int Sync(int fd) { return ::fsync(fd) == 0 || errno == EINVAL ? 0 : errno; }

// Without syncing the folder, the rename itself may not survive a power cut.
void SyncFolder(const std::string& folder) {
  const UniqueFd fd(::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (fd) (void)::fsync(fd.get());
}

}  // namespace

uint32_t ReplaceContents(const std::wstring& path, std::string_view bytes) {
  const std::string target = sys::path::EncodeBytes(path);
  std::string temp = FolderOf(target) + ".dromika-XXXXXX";
  // mkostemp creates the file exclusively with mode 0600.
  UniqueFd fd(::mkostemp(&temp[0], O_CLOEXEC));
  if (!fd) return static_cast<uint32_t>(errno);
  int error = WriteAll(fd.get(), bytes);
  if (error == 0) error = Sync(fd.get());
  if (const int closed = fd.close(); error == 0) error = closed;
  if (error == 0 && ::rename(temp.c_str(), target.c_str()) != 0) error = errno;
  if (error != 0) {
    ::unlink(temp.c_str());
    return static_cast<uint32_t>(error);
  }
  SyncFolder(FolderOf(target));
  return 0;
}

}  // namespace sys::file::detail
