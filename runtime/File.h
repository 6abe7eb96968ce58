#pragma once
#include <cstdio>
#include <string>

namespace sys::file {
// std::fopen with a wide path (Windows: _wfopen; Linux: the path's bytes).
// Null on failure, with the system's last error set.
std::FILE* Open(const std::wstring& path, const char* mode);
}  // namespace sys::file
