#include "runtime/LongPath.h"

namespace sys::file {
std::wstring ExtendedPath(const std::wstring& path) { return path; }
}  // namespace sys::file
