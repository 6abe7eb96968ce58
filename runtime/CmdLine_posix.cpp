#include <fstream>
#include <iterator>

#include "runtime/CmdLine.h"
#include "runtime/PathBytes.h"

namespace sys::env {

std::vector<std::wstring> RawArguments() {
  std::ifstream file("/proc/self/cmdline", std::ios::binary);
  const std::string all((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  std::vector<std::wstring> arguments;
  size_t start = 0;
  for (size_t end; (end = all.find('\0', start)) != std::string::npos; start = end + 1) {
    arguments.push_back(sys::path::DecodeBytes(all.substr(start, end - start)));
  }
  if (!arguments.empty()) arguments.erase(arguments.begin());  // the program itself
  return arguments;
}

}  // namespace sys::env
