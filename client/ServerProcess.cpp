#include "client/ServerProcess.h"

#include "platform/FileSystem.h"
#include "platform/Program.h"

namespace tally::client {

// The running program's folder and its own extension (".exe" on Windows).
std::wstring ProgramBesideSelf(const std::wstring& name) {
  const std::wstring self = platform::HostProgram().ModulePath();
  const size_t slash = self.rfind(platform::HostFileSystem().Separator());
  const std::wstring file = slash == std::wstring::npos ? self : self.substr(slash + 1);
  const size_t dot = file.rfind(L'.');
  const std::wstring extension = dot == std::wstring::npos ? std::wstring() : file.substr(dot);
  return (slash == std::wstring::npos ? std::wstring() : self.substr(0, slash + 1)) + name + extension;
}

}  // namespace tally::client
