#pragma once
#include <string>

namespace version {
// The build's version, "major.minor.patch.tweak".
const char* BuildVersion();
// The first line a command-line tool prints: its name and the build's version.
std::wstring CmdLineBanner(const std::wstring& name);
}  // namespace version
