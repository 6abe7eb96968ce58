// The program's own file and the versions that files carry.
#pragma once
#include <cstdint>
#include <string>

namespace platform {

class Program {
 public:
  virtual ~Program() = default;
  // The full path of the running executable (Windows: GetModuleFileNameW
  // into a buffer that grows until the path fits; Linux: /proc/self/exe).
  virtual std::wstring ModulePath() = 0;
  // The file version ("10.2.0.7") of a program or library. Returns 0 and sets
  // out on success; otherwise a Windows Installer error code and out is empty.
  // Linux reads the version that this project's executables carry in an ELF
  // section; other files have none.
  virtual uint32_t FileVersion(const std::wstring& path, std::wstring& out) = 0;
};

Program& HostProgram();

// Windows Installer result codes that every backend uses.
constexpr uint32_t kErrorFileNotFound = 2;
constexpr uint32_t kErrorFileInvalid = 1006;

}  // namespace platform
