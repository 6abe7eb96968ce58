// One end of a byte connection (a socket, a pipe handle, or memory). Every
// system call that moves connection bytes goes through these two operations,
// so the retry rules above them can be tested with scripted ends.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>

namespace sys::message {

struct IoResult {
  enum Kind {
    kDone,         // `count` bytes moved (at least one)
    kInterrupted,  // nothing moved; try again (EINTR)
    kEnd,          // the peer closed its end (reads only)
    kFailed,       // the connection is broken; `error` is the system's code
  };
  Kind kind = kDone;
  size_t count = 0;
  uint32_t error = 0;
};

class IByteStream {
 public:
  virtual ~IByteStream() = default;
  // Moves at most `size` bytes; may move fewer.
  virtual IoResult ReadSome(void* data, size_t size) = 0;
  virtual IoResult WriteSome(const void* data, size_t size) = 0;
  // Ends both directions, so a peer's read sees the end; idempotent.
  virtual void Close() = 0;
};

// Takes ownership of a host connection: a file descriptor on Linux, a pipe
// HANDLE on Windows (`overlapped` when the handle was opened for overlapped
// I/O). Closed by Close() or the destructor.
std::unique_ptr<IByteStream> MakeHostStream(intptr_t handle, bool overlapped = false);

}  // namespace sys::message
