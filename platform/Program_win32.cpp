#include <windows.h>
#include <msi.h>

#include <vector>

#include "platform/Program.h"

namespace platform {
namespace {

class WindowsProgram : public Program {
 public:
  std::wstring ModulePath() override {
    wchar_t buffer[260] = {};
    const DWORD n = GetModuleFileNameW(nullptr, buffer, 260);
    return std::wstring(buffer, n);
  }

  // MsiGetFileVersionW is asked for the length first, then for the text.
  uint32_t FileVersion(const std::wstring& path, std::wstring& out) override {
    out.clear();
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
