// Sole owner of a file descriptor (-1 when empty), closed when the owner goes.
// POSIX only: included from *_posix.cpp files and the Linux-only collector.
#pragma once
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace sys {

class UniqueFd {
 public:
  UniqueFd() noexcept = default;
  explicit UniqueFd(int fd) noexcept : fd_(fd) {}
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd() { reset(); }

  int get() const noexcept { return fd_; }
  bool valid() const noexcept { return fd_ >= 0; }
  explicit operator bool() const noexcept { return valid(); }

  // The caller now owns the descriptor.
  [[nodiscard]] int release() noexcept { return std::exchange(fd_, -1); }

  // Linux frees the number even when close() fails, EINTR included, so a
  // retry could close a descriptor another thread has just been given.
  void reset(int fd = -1) noexcept {
    const int old = std::exchange(fd_, fd);
    if (old >= 0) ::close(old);
  }

  // As reset(), for a caller that wants close()'s verdict: some file systems
  // report a failed write only here. 0, or the errno.
  int close() noexcept {
    const int old = std::exchange(fd_, -1);
    return old < 0 || ::close(old) == 0 ? 0 : errno;
  }

 private:
  int fd_ = -1;
};

}  // namespace sys
