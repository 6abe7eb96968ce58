// Linux file names are bytes. Valid UTF-8 becomes characters; each other byte
// becomes U+DC80 + byte, which no real character uses, so a name read from
// the disk turns back into the same bytes when the report opens it again.
#pragma once
#include <string>

namespace platform::posix {
std::wstring DecodePath(const std::string& bytes);
std::string EncodePath(const std::wstring& path);
}  // namespace platform::posix
