// SHA-256, the key by which the store recognises a document it already holds.
#pragma once
#include <string>
#include <string_view>

namespace collector {

// The 32-byte digest of `bytes`.
std::string Sha256(std::string_view bytes);
// Lower-case hexadecimal of any bytes.
std::string Hex(std::string_view bytes);
// True when both are equal, in a time that depends only on their lengths.
bool SameBytes(std::string_view a, std::string_view b);

}  // namespace collector
