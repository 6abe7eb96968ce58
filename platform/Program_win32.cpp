#include <windows.h>
#include <msi.h>

#include <vector>

#include "platform/Program.h"
#include "runtime/LongPath.h"

namespace platform {
namespace {

class WindowsProgram : public Program {
 public:
  // A path that does not fit comes back cut to the buffer's size (and
  // ERROR_INSUFFICIENT_BUFFER), so the buffer doubles until it fits.
  std::wstring ModulePath() override {
    std::wstring buffer(MAX_PATH, L'\0');
    for (int attempt = 0; attempt < 8; ++attempt) {
      const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
      if (n == 0) return std::wstring();
      if (n < buffer.size()) return buffer.substr(0, n);
      buffer.assign(buffer.size() * 2, L'\0');
    }
    return std::wstring();
  }

  // MsiGetFileVersionW is asked for the length first, then for the text.
  uint32_t FileVersion(const std::wstring& givenPath, std::wstring& out) override {
    out.clear();
    const std::wstring path = sys::file::ExtendedPath(givenPath);
    DWORD length = 0;
    MsiGetFileVersionW(path.c_str(), nullptr, &length, nullptr, nullptr);
    std::vector<wchar_t> buffer(length + 1, L'\0');
    DWORD capacity = length + 1;
    const UINT result = MsiGetFileVersionW(path.c_str(), buffer.data(), &capacity, nullptr, nullptr);
    if (result == ERROR_SUCCESS) out = buffer.data();
    return result;
  }
};

}  // namespace

Program& HostProgram() {
  static WindowsProgram program;
  return program;
}

}  // namespace platform
