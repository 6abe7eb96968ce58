// gzip compression of upload bodies.
#pragma once
#include <string>
#include <string_view>

namespace codec {

// Replaces `output` with `input` as one gzip member. The header carries no
// time, name or system code, so the same input gives the same bytes on every
// host. False only when zlib cannot start or runs out of memory.
bool Gzip(std::string_view input, std::string& output);

}  // namespace codec
