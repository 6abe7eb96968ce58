#include "runtime/PipeClient.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

#include "runtime/FrameConnection.h"
#include "runtime/PathBytes.h"
#include "runtime/Str.h"
#include "runtime/SystemError.h"
#include "runtime/UniqueFd_posix.h"

namespace sys::message {
namespace {

constexpr auto kAttemptPause = std::chrono::milliseconds(100);

qtl::status Failure(const std::string& path, const std::wstring& why) {
  return qtl::status::error(L"Unable to connect to " + str::as_wstring(path) + L": " + why);
}

qtl::status SystemFailure(const std::string& path, int error) {
  return Failure(path, str::as_wstring(QRNErrMsg(static_cast<uint32_t>(error))));
}

// A bare name lives in the temporary folder; anything with a slash is a path.
std::string SocketPath(const std::wstring& name) {
  const std::string narrow = sys::path::EncodeBytes(name);
  if (narrow.find('/') != std::string::npos) return narrow;
  const char* folder = std::getenv("TMPDIR");
  return std::string(folder && *folder ? folder : "/tmp") + "/" + narrow;
}

// Only filesystem sockets: an address starting with NUL would be abstract,
// and abstract sockets have no owner or permissions to check.
qtl::status MakeAddress(const std::wstring& name, sockaddr_un& address, std::string& path) {
  if (name.empty()) return qtl::status::error(L"Unable to connect: no pipe name was given");
  path = SocketPath(name);
  if (path.find('\0') != std::string::npos) return Failure(path, L"the name holds a NUL character");
  if (path.size() >= sizeof address.sun_path) return Failure(path, L"the path is too long for a socket");
  std::memset(&address, 0, sizeof address);
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.data(), path.size());
  return qtl::ok_status();
}

bool WorthRetrying(int error) { return error == ECONNREFUSED || error == ENOENT || error == EAGAIN; }

// A connect blocks while the listener's queue is full; the send time-out
// bounds that wait (it then fails with EAGAIN) and is lifted once connected.
bool SetSendTimeout(int fd, uint32_t milliseconds) {
  timeval limit = {};
  limit.tv_sec = static_cast<time_t>(milliseconds / 1000);
  limit.tv_usec = static_cast<suseconds_t>(milliseconds % 1000 * 1000);
  return ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit) == 0;
}

qtl::status AttemptFailure(const std::string& path, int error) {
  if (error != EAGAIN) return SystemFailure(path, error);
  return Failure(path, L"the endpoint did not take the connection within " + std::to_wstring(pipe::kConnectWaitMs) +
                           L" ms");
}

// 0 once connected, else the error.
int ConnectOnce(int fd, const sockaddr_un& address) {
  if (!SetSendTimeout(fd, pipe::kConnectWaitMs)) return errno;
  int result;
  do {
    result = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
  } while (result != 0 && errno == EINTR);
  // A connect interrupted by a signal goes on by itself and may have finished.
  if (result != 0 && errno != EISCONN) return errno;
  return SetSendTimeout(fd, 0) ? 0 : errno;
}

qtl::status Connect(const sockaddr_un& address, const std::string& path, uint32_t attempts, UniqueFd& fd) {
  for (uint32_t attempt = 1;; ++attempt) {
    fd.reset(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!fd) return SystemFailure(path, errno);
    const int error = ConnectOnce(fd.get(), address);
    if (error == 0) return qtl::ok_status();
    fd.reset();
    if (attempt >= attempts || !WorthRetrying(error)) return AttemptFailure(path, error);
    std::this_thread::sleep_for(kAttemptPause);
  }
}

// The endpoint must belong to our own user, or whoever made it could read
// everything the client tells us.
qtl::status CheckPeer(int fd, const std::string& path) {
  ucred peer = {};
  socklen_t size = sizeof peer;
  if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0) return SystemFailure(path, errno);
  if (peer.uid != ::geteuid()) return Failure(path, L"the endpoint belongs to another user");
  return qtl::ok_status();
}

}  // namespace

std::shared_ptr<IReaderWriterConnection> MakeNamedPipeClientDuplex(const pipe::ClientSettings& settings) {
  sockaddr_un address;
  std::string path;
  qtl::status status = MakeAddress(settings.name, address, path);
  UniqueFd fd;
  if (status.ok()) status = Connect(address, path, settings.b ? settings.b : 1, fd);
  if (status.ok()) status = CheckPeer(fd.get(), path);
  if (!status.ok()) {
    fd.reset();
    return std::make_shared<FrameConnection>(status);
  }
  return std::make_shared<FrameConnection>(MakeHostStream(fd.release()), settings.a);
}

}  // namespace sys::message
