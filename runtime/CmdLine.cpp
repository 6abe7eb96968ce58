#include "runtime/CmdLine.h"

namespace sys::env {

void ClassifyArguments(const std::vector<std::wstring>& raw, std::vector<std::wstring>& positional,
                       NamedArguments& named) {
  positional.clear();
  named.clear();
  for (const auto& argument : raw) {
    if (argument.empty() || argument[0] != L'/') {
      positional.push_back(argument);
      continue;
    }
    const size_t colon = argument.find(L':');
    if (colon == std::wstring::npos) {
      named.emplace_back(argument.substr(1), std::wstring());
    } else {
      named.emplace_back(argument.substr(1, colon - 1), argument.substr(colon + 1));
    }
  }
}

void GetCmdLineArguments(std::vector<std::wstring>& positional, NamedArguments& named) {
  ClassifyArguments(RawArguments(), positional, named);
}

}  // namespace sys::env
