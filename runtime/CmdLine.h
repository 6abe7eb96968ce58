// The process's own command line, split into bare words and /name:value options.
#pragma once
#include <string>
#include <utility>
#include <vector>

namespace sys::env {

using NamedArguments = std::vector<std::pair<std::wstring, std::wstring>>;

// The arguments of this process, without the program's own name, in order.
// Windows: the process command line; Linux: /proc/self/cmdline.
std::vector<std::wstring> RawArguments();

// An argument that starts with "/" is named: the name runs to the first ":",
// the value is everything after it ("/out:C:\a" gives out and C:\a; "/x" gives
// x and the empty value). Every other argument is a positional word.
void ClassifyArguments(const std::vector<std::wstring>& raw, std::vector<std::wstring>& positional,
                       NamedArguments& named);

// ClassifyArguments of RawArguments; both lists are replaced.
void GetCmdLineArguments(std::vector<std::wstring>& positional, NamedArguments& named);

}  // namespace sys::env
