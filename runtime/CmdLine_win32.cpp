#include <windows.h>
#include <shellapi.h>

#include "runtime/CmdLine.h"

namespace sys::env {

std::vector<std::wstring> RawArguments() {
  int count = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::wstring> arguments;
  for (int i = 1; argv && i < count; ++i) arguments.emplace_back(argv[i]);
  if (argv) LocalFree(argv);
  return arguments;
}

}  // namespace sys::env
