#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "client/ServerProcess.h"
#include "runtime/Console.h"
#include "runtime/Str.h"
#include "runtime/SystemError.h"
#include "runtime/UniqueFd_posix.h"

extern char** environ;

namespace tally::client {
namespace {

using Clock = std::chrono::steady_clock;

qtl::status SystemFailure(const std::wstring& what, int error) {
  return qtl::status::error(what + L": " + str::as_wstring(QRNErrMsg(static_cast<uint32_t>(error))));
}

// A fresh 0700 folder (mkdtemp) holds the socket, so no other user can
// reach it or swap it, and its name cannot be guessed in advance.
qtl::status MakePrivateFolder(std::string& folder) {
  const char* tmp = std::getenv("TMPDIR");
  std::string base = tmp && *tmp ? tmp : "/tmp";
  if (base.size() + 32 >= sizeof(sockaddr_un::sun_path)) base = "/tmp";
  std::string pattern = base + "/dromika-XXXXXX";
  if (!::mkdtemp(&pattern[0])) return SystemFailure(L"Unable to create a private folder in " + str::as_wstring(base), errno);
  folder = pattern;
  return qtl::ok_status();
}

qtl::status Listen(const std::string& path, sys::UniqueFd& fd) {
  fd.reset(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!fd) return SystemFailure(L"Unable to create a socket", errno);
  sockaddr_un address = {};
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.data(), path.size());
  if (::bind(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd.get(), 4) != 0) {
    return SystemFailure(L"Unable to listen on " + str::as_wstring(path), errno);
  }
  return qtl::ok_status();
}

// The child's standard input is /dev/null, its output goes to our standard error.
qtl::status Spawn(const std::vector<std::string>& arguments, pid_t& pid) {
  std::vector<char*> argv;
  for (const auto& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, STDERR_FILENO, STDOUT_FILENO);
  const int error = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) return SystemFailure(L"Unable to start the server " + str::as_wstring(arguments[0]), error);
  return qtl::ok_status();
}

int ExitCodeOf(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status); }

class PosixServer : public ServerProcess {
 public:
  explicit PosixServer(pid_t pid) : pid_(pid) {}
  ~PosixServer() override {
    int exitCode = 0;
    if (!Wait(0, exitCode).ok()) Kill();
  }

  void Accept(sys::UniqueFd fd) { stream_ = sys::message::MakeHostStream(fd.release()); }
  std::unique_ptr<sys::message::IByteStream> TakeStream() override { return std::move(stream_); }

  // True once the child has ended (and been reaped).
  bool Ended() {
    if (ended_) return true;
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) != pid_) return false;
    ended_ = true;
    exitCode_ = ExitCodeOf(status);
    return true;
  }

  qtl::status Wait(uint32_t milliseconds, int& exitCode) override {
    const auto deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
    while (!Ended()) {
      if (Clock::now() >= deadline) return qtl::status::error(L"The server did not end in time");
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    exitCode = exitCode_;
    return qtl::ok_status();
  }

  void Kill() override {
    if (Ended()) return;
    ::kill(pid_, SIGKILL);
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    ended_ = true;
    exitCode_ = ExitCodeOf(status);
  }

  int exitCode() const { return exitCode_; }

 private:
  pid_t pid_;
  bool ended_ = false;
  int exitCode_ = 0;
  std::unique_ptr<sys::message::IByteStream> stream_;
};

// Accepts until the child itself connects; anyone else is turned away.
qtl::status AcceptChild(int listener, PosixServer& server, pid_t child, uint32_t timeoutMs) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  while (Clock::now() < deadline) {
    if (server.Ended()) {
      return qtl::status::error(L"The server ended before connecting (exit code " + std::to_wstring(server.exitCode()) + L")");
    }
    pollfd waiting = {listener, POLLIN, 0};
    if (::poll(&waiting, 1, 50) <= 0) continue;
    sys::UniqueFd fd(::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC));
    if (!fd) continue;
    ucred peer = {};
    socklen_t size = sizeof peer;
    if (::getsockopt(fd.get(), SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 && peer.pid == child) {
      server.Accept(std::move(fd));
      return qtl::ok_status();
    }
  }
  server.Kill();
  return qtl::status::error(L"The server did not connect within " + std::to_wstring(timeoutMs) + L" ms");
}

std::vector<std::string> CommandLine(const LaunchOptions& options, const std::string& path) {
  std::vector<std::string> arguments = {str::as_u8string(options.program), "RunServer", "/pipename:" + path};
  for (const auto& extra : options.extraArguments) arguments.push_back(str::as_u8string(extra));
  return arguments;
}

}  // namespace

qtl::status LaunchServer(const LaunchOptions& options, std::unique_ptr<ServerProcess>& out) {
  // A closed standard descriptor would hand its number to the listener, and
  // the child would write its console lines into the socket.
  sys::console::GuardStandardStreams();
  std::string folder;
  qtl::status status = MakePrivateFolder(folder);
  if (!status.ok()) return status;
  const std::string path = folder + "/pipe";
  sys::UniqueFd listener;
  status = Listen(path, listener);
  pid_t pid = 0;
  if (status.ok()) status = Spawn(CommandLine(options, path), pid);
  std::unique_ptr<PosixServer> server;
  if (status.ok()) {
    server = std::make_unique<PosixServer>(pid);
    status = AcceptChild(listener.get(), *server, pid, options.connectTimeoutMs);
  }
  // Once connected, nobody else needs to find the endpoint.
  listener.reset();
  ::unlink(path.c_str());
  ::rmdir(folder.c_str());
  if (status.ok()) out = std::move(server);
  return status;
}

}  // namespace tally::client
