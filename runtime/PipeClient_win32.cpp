#include <windows.h>

#include "runtime/FrameConnection.h"
#include "runtime/PipeClient.h"
#include "runtime/Str.h"
#include "runtime/SystemError.h"

namespace sys::message {
namespace {

constexpr DWORD kAttemptPauseMs = 100;
const std::wstring kPipePrefix = L"\\\\.\\pipe\\";

qtl::status SystemFailure(const std::wstring& path, DWORD error) {
  return qtl::status::error(L"Unable to connect to " + path + L": " + str::as_wstring(QRNErrMsg(error)));
}

std::wstring PipePath(const std::wstring& name) {
  return name.compare(0, kPipePrefix.size(), kPipePrefix) == 0 ? name : kPipePrefix + name;
}

// SECURITY_IDENTIFICATION: whoever holds the pipe may learn who we are but
// can never act as us.
// Every instance busy is a moment's race with another client, not a missing
// endpoint: it is waited out within the connect bound and costs no attempt.
qtl::status Open(const std::wstring& path, uint32_t attempts, HANDLE& handle) {
  const ULONGLONG busyUntil = GetTickCount64() + pipe::kConnectWaitMs;
  for (uint32_t attempt = 1;;) {
    handle = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                         SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr);
    if (handle != INVALID_HANDLE_VALUE) return qtl::ok_status();
    const DWORD error = GetLastError();
    const ULONGLONG now = GetTickCount64();
    if (error == ERROR_PIPE_BUSY && now < busyUntil) {
      if (!WaitNamedPipeW(path.c_str(), static_cast<DWORD>(busyUntil - now))) Sleep(10);
      continue;
    }
    if (attempt++ >= attempts) return SystemFailure(path, error);
    if (error == ERROR_PIPE_BUSY) {
      WaitNamedPipeW(path.c_str(), kAttemptPauseMs);
    } else if (error == ERROR_FILE_NOT_FOUND) {
      Sleep(kAttemptPauseMs);
    } else {
      return SystemFailure(path, error);
    }
  }
}

}  // namespace

std::shared_ptr<IReaderWriterConnection> MakeNamedPipeClientDuplex(const pipe::ClientSettings& settings) {
  if (settings.name.empty()) {
    return std::make_shared<FrameConnection>(qtl::status::error(L"Unable to connect: no pipe name was given"));
  }
  const std::wstring path = PipePath(settings.name);
  HANDLE handle = INVALID_HANDLE_VALUE;
  qtl::status status = Open(path, settings.b ? settings.b : 1, handle);
  if (!status.ok()) return std::make_shared<FrameConnection>(status);
  DWORD mode = PIPE_READMODE_BYTE;
  SetNamedPipeHandleState(handle, &mode, nullptr, nullptr);
  return std::make_shared<FrameConnection>(MakeHostStream(reinterpret_cast<intptr_t>(handle)), settings.a);
}

}  // namespace sys::message
