// The operating system's error codes and their messages.
#pragma once
#include <cstdint>
#include <string>

// The system's message for `code` (Windows: FormatMessage; Linux: strerror),
// without a trailing line end; "error N" when the system has none.
std::string QRNErrMsg(uint32_t code);

namespace sys {
// The calling thread's last error (Windows: GetLastError; Linux: errno).
uint32_t LastErrorCode();
// Sets the calling thread's last error, for a caller that reports it later.
void SetLastErrorCode(uint32_t code);
}  // namespace sys
