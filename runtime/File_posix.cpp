#include "runtime/File.h"

#include "runtime/PathBytes.h"

namespace sys::file {
std::FILE* Open(const std::wstring& path, const char* mode) {
  return std::fopen(sys::path::EncodeBytes(path).c_str(), mode);
}
}  // namespace sys::file
