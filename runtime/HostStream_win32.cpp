#include <windows.h>

#include "runtime/ByteStream.h"

namespace sys::message {
namespace {

// Both sides of a pipe report the peer's going as one of these.
bool IsPeerGone(DWORD error) {
  return error == ERROR_BROKEN_PIPE || error == ERROR_PIPE_NOT_CONNECTED || error == ERROR_NO_DATA;
}

class PipeStream : public IByteStream {
 public:
  PipeStream(HANDLE handle, bool overlapped) : handle_(handle) {
    if (overlapped) {
      readEvent_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
      writeEvent_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    }
  }
  ~PipeStream() override {
    Close();
    if (readEvent_) CloseHandle(readEvent_);
    if (writeEvent_) CloseHandle(writeEvent_);
  }

  IoResult ReadSome(void* data, size_t size) override {
    if (handle_ == INVALID_HANDLE_VALUE) return {IoResult::kFailed, 0, ERROR_INVALID_HANDLE};
    DWORD done = 0;
    OVERLAPPED overlapped = {};
    overlapped.hEvent = readEvent_;
    BOOL ok = ReadFile(handle_, data, Clamp(size), &done, readEvent_ ? &overlapped : nullptr);
    if (!ok && readEvent_ && GetLastError() == ERROR_IO_PENDING) ok = GetOverlappedResult(handle_, &overlapped, &done, TRUE);
    // In message mode a longer message still delivers what fitted.
    if (ok || GetLastError() == ERROR_MORE_DATA) return done ? IoResult{IoResult::kDone, done} : IoResult{IoResult::kInterrupted};
    const DWORD error = GetLastError();
    if (IsPeerGone(error)) return {IoResult::kEnd};
    return {IoResult::kFailed, 0, error};
  }

  IoResult WriteSome(const void* data, size_t size) override {
    if (handle_ == INVALID_HANDLE_VALUE) return {IoResult::kFailed, 0, ERROR_INVALID_HANDLE};
    DWORD done = 0;
    OVERLAPPED overlapped = {};
    overlapped.hEvent = writeEvent_;
    BOOL ok = WriteFile(handle_, data, Clamp(size), &done, writeEvent_ ? &overlapped : nullptr);
    if (!ok && writeEvent_ && GetLastError() == ERROR_IO_PENDING) ok = GetOverlappedResult(handle_, &overlapped, &done, TRUE);
    if (ok) return done ? IoResult{IoResult::kDone, done} : IoResult{IoResult::kInterrupted};
    return {IoResult::kFailed, 0, GetLastError()};
  }

  void Close() override {
    if (handle_ == INVALID_HANDLE_VALUE) return;
    CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
  }

 private:
  static DWORD Clamp(size_t size) { return size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size); }

  HANDLE handle_;
  HANDLE readEvent_ = nullptr;
  HANDLE writeEvent_ = nullptr;
};

}  // namespace

std::unique_ptr<IByteStream> MakeHostStream(intptr_t handle, bool overlapped) {
  return std::make_unique<PipeStream>(reinterpret_cast<HANDLE>(handle), overlapped);
}

}  // namespace sys::message
