// Paths that Windows file functions accept at any length.
#pragma once
#include <string>

namespace sys::file {

// The form to hand to a file system call. Windows: the absolute path
// (GetFullPathNameW, so "." and "..", "/" and relative paths are resolved) in
// the extended form "\\?\C:\..." or "\\?\UNC\server\share\...", which is not
// held to MAX_PATH; paths already extended, device paths ("\\.\") and an empty
// path are returned unchanged. Linux: the path unchanged.
// The result is for the system only: text shown to the user keeps the path
// as it was given.
std::wstring ExtendedPath(const std::wstring& path);

}  // namespace sys::file
