#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

#include "runtime/Console.h"
#include "runtime/Str.h"
#include "runtime/UniqueFd_posix.h"

namespace sys::console {

void SetAsUnicode() {}

void GuardStandardStreams() {
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
    if (::fcntl(fd, F_GETFD) >= 0 || errno != EBADF) continue;
    // open() takes the lowest free number, which is this one.
    UniqueFd opened(::open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY));
    if (opened.get() == fd) (void)opened.release();
  }
  struct sigaction current = {};
  if (::sigaction(SIGPIPE, nullptr, &current) == 0 && current.sa_handler == SIG_DFL) std::signal(SIGPIPE, SIG_IGN);
}

void Write(Stream stream, std::wstring_view text) {
  const std::string bytes = str::as_u8string(text);
  const int fd = stream == Stream::kOut ? STDOUT_FILENO : STDERR_FILENO;
  for (size_t done = 0; done < bytes.size();) {
    ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;  // a closed console (EPIPE, EBADF) loses the text, not the run
    done += static_cast<size_t>(n);
  }
}

}  // namespace sys::console
