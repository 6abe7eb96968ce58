#include <cerrno>
#include <unistd.h>

#include "runtime/Console.h"
#include "runtime/Str.h"

namespace sys::console {

void SetAsUnicode() {}

void Write(Stream stream, std::wstring_view text) {
  const std::string bytes = str::as_u8string(text);
  const int fd = stream == Stream::kOut ? STDOUT_FILENO : STDERR_FILENO;
  for (size_t done = 0; done < bytes.size();) {
    ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

}  // namespace sys::console
