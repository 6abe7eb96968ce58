#include <windows.h>

#include "runtime/Console.h"
#include "runtime/Str.h"

namespace sys::console {

// Nothing to switch: a console gets UTF-16 through WriteConsoleW, which no
// code page touches, and a pipe or file gets UTF-8 bytes. The console may
// well be the caller's, whose code page is not ours to change.
void SetAsUnicode() {}

// A missing standard handle reads as null and is skipped by Write; a broken
// pipe fails WriteFile without a signal.
void GuardStandardStreams() {}

void Write(Stream stream, std::wstring_view text) {
  HANDLE handle = GetStdHandle(stream == Stream::kOut ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return;
  DWORD mode = 0;
  if (GetConsoleMode(handle, &mode)) {
    DWORD written = 0;
    WriteConsoleW(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    return;
  }
  // A pipe or a file: UTF-8 with the CR LF line ends of a Windows text stream.
  std::wstring crlf(text);
  str::replace_all(crlf, std::wstring(L"\n"), std::wstring(L"\r\n"));
  const std::string bytes = str::as_u8string(crlf);
  for (size_t done = 0; done < bytes.size();) {
    DWORD written = 0;
    if (!WriteFile(handle, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &written, nullptr) || !written) return;
    done += written;
  }
}

}  // namespace sys::console
