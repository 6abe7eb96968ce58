// Compression for bodies: decoding what senders send under a running size
// limit, and the compact form a store keeps.
#pragma once
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "collector/base/Status.h"

struct z_stream_s;

namespace collector {

struct InflateEnd {
  void operator()(z_stream_s* stream) const;
};
using Inflater = std::unique_ptr<z_stream_s, InflateEnd>;

// Decodes a gzip stream fed in pieces, refusing to produce more than `limit`
// bytes in total, so a small body cannot expand without bound.
class GzipDecoder {
 public:
  explicit GzipDecoder(size_t limit);

  enum class Result { kMore, kDone, kTooLarge, kCorrupt };
  // Appends what `piece` decodes to to `out`. Bytes after the end of the
  // stream are refused as corrupt.
  Result Feed(std::string_view piece, std::string& out);
  // Done when the whole stream has been seen.
  bool Finished() const { return finished_; }
  std::string Message() const { return message_; }

 private:
  Inflater stream_;
  size_t limit_;
  size_t produced_ = 0;
  bool finished_ = false;
  std::string message_;
};

// Decodes a whole gzip body (for import and tests).
GzipDecoder::Result GunzipAll(std::string_view gz, size_t limit, std::string& out);

// The form a store keeps a body in (zlib) and back. Unpack fails only on data
// that Pack did not make.
Status Pack(std::string_view bytes, std::string& packed);
Status Unpack(std::string_view packed, std::string& out);

}  // namespace collector
