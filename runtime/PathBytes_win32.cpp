#include "runtime/PathBytes.h"

#include "runtime/Str.h"

namespace sys::path {
std::wstring FromHostBytes(std::string_view bytes) { return str::as_wstring(bytes); }
std::string ToHostBytes(std::wstring_view path) { return str::as_u8string(path); }
}  // namespace sys::path
