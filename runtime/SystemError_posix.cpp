#include <cerrno>
#include <cstring>

#include "runtime/SystemError.h"

std::string QRNErrMsg(uint32_t code) {
  char buffer[256] = {};
  // The GNU strerror_r may return a static text instead of filling the buffer.
  const char* text = strerror_r(static_cast<int>(code), buffer, sizeof buffer);
  return text && *text ? std::string(text) : "error " + std::to_string(code);
}

namespace sys {
uint32_t LastErrorCode() { return static_cast<uint32_t>(errno); }
void SetLastErrorCode(uint32_t code) { errno = static_cast<int>(code); }
}  // namespace sys
