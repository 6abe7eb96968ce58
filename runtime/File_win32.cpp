#include "runtime/File.h"

#include "runtime/LongPath.h"
#include "runtime/Str.h"

namespace sys::file {
std::FILE* Open(const std::wstring& path, const char* mode) {
  return _wfopen(ExtendedPath(path).c_str(), str::as_wstring(mode).c_str());
}
}  // namespace sys::file
