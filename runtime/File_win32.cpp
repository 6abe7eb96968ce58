#include "runtime/File.h"

#include "runtime/Str.h"

namespace sys::file {
std::FILE* Open(const std::wstring& path, const char* mode) {
  return _wfopen(path.c_str(), str::as_wstring(mode).c_str());
}
}  // namespace sys::file
