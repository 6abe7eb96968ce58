// Compression for bodies: decoding what senders send under a running size
// limit, and the compact form a store keeps.
#pragma once
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "collector/base/Status.h"

namespace collector {

struct Inflater;  // a zlib inflate stream and its end

// Decodes a gzip stream fed in pieces, refusing to produce more than `limit`
// bytes in total, so a small body cannot expand without bound.
class GzipDecoder {
 public:
  explicit GzipDecoder(size_t limit);
  ~GzipDecoder();

  // Appends what `piece` decodes to to `out`. Several members one after
  // the other are one stream. Fails with kTooLarge past the limit and
  // kInvalid on damage; after a failure every call fails the same way.
  Status Feed(std::string_view piece, std::string& out);
  // Whether the stream ends here: its last member is complete.
  bool Finished() const { return finished_; }

 private:
  std::unique_ptr<Inflater> inflater_;  // null when zlib would not start
  size_t limit_;
  size_t produced_ = 0;
  bool finished_ = false;
  Status error_;

  Status Fail(Status error);
};

// Decodes a whole gzip body (for import and tests); a stream that ends early is invalid.
Status GunzipAll(std::string_view gz, size_t limit, std::string& out);

// The form a store keeps a body in (zlib) and back. Unpack fails only on data
// that Pack did not make.
Status Pack(std::string_view bytes, std::string& packed);
Status Unpack(std::string_view packed, std::string& out);

}  // namespace collector
