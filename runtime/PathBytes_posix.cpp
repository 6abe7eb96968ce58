#include "runtime/PathBytes.h"

namespace sys::path {
std::wstring FromHostBytes(std::string_view bytes) { return DecodeBytes(bytes); }
std::string ToHostBytes(std::wstring_view path) { return EncodeBytes(path); }
}  // namespace sys::path
