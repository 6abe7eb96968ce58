// Linux file names, arguments and environment values are bytes, not text.
// Valid UTF-8 becomes characters; every other byte b becomes U+DC00 + b
// (U+DC80..U+DCFF, which no decoded character uses), so a path read as bytes
// turns back into the same bytes when it is opened again.
#pragma once
#include <string>
#include <string_view>

namespace sys::path {

std::wstring DecodeBytes(std::string_view bytes);
// Inverts DecodeBytes; other text is written as UTF-8.
std::string EncodeBytes(std::wstring_view path);

// The name for people to read: each byte kept by DecodeBytes shows as the
// Latin-1 character of the same value, the way file contents are shown.
std::wstring Displayable(std::wstring name);

// A path the system or a client handed over as bytes (an argument, the wire,
// the environment). Linux keeps every byte (DecodeBytes); Windows reads UTF-8.
std::wstring FromHostBytes(std::string_view bytes);
// What the system is given for a path: EncodeBytes on Linux, UTF-8 on Windows.
std::string ToHostBytes(std::wstring_view path);

}  // namespace sys::path
