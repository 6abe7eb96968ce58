// Deflate compression: gzip for upload bodies, zlib for what a store keeps.
#pragma once
#include <string>
#include <string_view>

namespace codec {

enum class Framing { kGzip, kZlib };
// zlib's own levels: 1 fastest to 9 smallest, -1 its default (6).
constexpr int kDefaultLevel = -1;

// Replaces `output` with `input` compressed in `framing` at `level`. A gzip
// header carries no time, name or system code, so the same input gives the
// same bytes on every host. False only when zlib cannot start or runs out
// of memory.
bool Compress(std::string_view input, Framing framing, int level, std::string& output);

// One gzip member at the default level.
inline bool Gzip(std::string_view input, std::string& output) {
  return Compress(input, Framing::kGzip, kDefaultLevel, output);
}

}  // namespace codec
