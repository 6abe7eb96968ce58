#include <cerrno>
#include <sys/socket.h>
#include <unistd.h>

#include "runtime/ByteStream.h"
#include "runtime/UniqueFd_posix.h"

namespace sys::message {
namespace {

IoResult Outcome(ssize_t n) {
  if (n > 0) return {IoResult::kDone, static_cast<size_t>(n)};
  if (n == 0) return {IoResult::kEnd};
  if (errno == EINTR) return {IoResult::kInterrupted};
  return {IoResult::kFailed, 0, static_cast<uint32_t>(errno)};
}

class SocketStream : public IByteStream {
 public:
  explicit SocketStream(int fd) : fd_(fd) {}
  ~SocketStream() override { Close(); }

  IoResult ReadSome(void* data, size_t size) override {
    if (!fd_) return {IoResult::kFailed, 0, EBADF};
    return Outcome(::read(fd_.get(), data, size));
  }

  // send() rather than write(): a peer that has gone must give EPIPE, not
  // a SIGPIPE that ends the whole process.
  IoResult WriteSome(const void* data, size_t size) override {
    if (!fd_) return {IoResult::kFailed, 0, EBADF};
    IoResult result = Outcome(::send(fd_.get(), data, size, MSG_NOSIGNAL));
    if (result.kind == IoResult::kEnd) result.kind = IoResult::kInterrupted;
    return result;
  }

  void Close() override {
    if (!fd_) return;
    ::shutdown(fd_.get(), SHUT_RDWR);
    fd_.reset();
  }

 private:
  UniqueFd fd_;
};

}  // namespace

std::unique_ptr<IByteStream> MakeHostStream(intptr_t handle, bool) {
  return std::make_unique<SocketStream>(static_cast<int>(handle));
}

}  // namespace sys::message
