#include "runtime/Gzip.h"

#include <zlib.h>

#include <algorithm>

namespace codec {
namespace {

constexpr int kWindowBits = 15;  // the largest window
constexpr int kGzipFraming = 16;  // added to the window bits for a gzip wrapper
constexpr int kMemoryLevel = 8;
// zlib counts bytes in 32-bit units: larger texts go in slices.
constexpr size_t kSlice = size_t{1} << 30;

struct Deflater {
  Deflater(Framing framing, int level) {
    const bool gzip = framing == Framing::kGzip;
    started = deflateInit2(&stream, level, Z_DEFLATED, kWindowBits + (gzip ? kGzipFraming : 0), kMemoryLevel,
                           Z_DEFAULT_STRATEGY) == Z_OK;
    // Without a header of our own zlib writes the compiling system's code.
    header.os = 255;
    if (gzip) started = started && deflateSetHeader(&stream, &header) == Z_OK;
  }
  ~Deflater() { deflateEnd(&stream); }
  Deflater(const Deflater&) = delete;
  Deflater& operator=(const Deflater&) = delete;

  z_stream stream{};
  gz_header header{};
  bool started = false;
};

}  // namespace

bool Compress(std::string_view input, Framing framing, int level, std::string& output) {
  Deflater deflater(framing, level);
  if (!deflater.started) return false;
  z_stream& stream = deflater.stream;
  output.assign(input.size() / 4 + 64, '\0');
  size_t fed = 0, written = 0;
  for (;;) {
    if (stream.avail_in == 0) {
      const size_t slice = std::min(input.size() - fed, kSlice);
      stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(input.data() + fed));
      stream.avail_in = static_cast<uInt>(slice);
      fed += slice;
    }
    if (written == output.size()) output.resize(output.size() * 2);
    const size_t room = std::min(output.size() - written, kSlice);
    stream.next_out = reinterpret_cast<Bytef*>(&output[written]);
    stream.avail_out = static_cast<uInt>(room);
    const int result = deflate(&stream, fed == input.size() ? Z_FINISH : Z_NO_FLUSH);
    written += room - stream.avail_out;
    if (result == Z_STREAM_END) break;
    if (result != Z_OK) return false;
  }
  output.resize(written);
  return true;
}

}  // namespace codec
