#include "collector/document/Compression.h"

#include <zlib.h>

#include "runtime/Gzip.h"

#include "collector/base/Status.h"

namespace collector {
namespace {

constexpr size_t kChunk = 64 * 1024;

// A zlib inflate stream, or null when zlib cannot start one. `windowBits`
// as inflateInit2 takes them.
Inflater StartInflate(int windowBits) {
  Inflater stream(new z_stream{});
  if (inflateInit2(stream.get(), windowBits) != Z_OK) stream.reset();
  return stream;
}

}  // namespace

void InflateEnd::operator()(z_stream_s* stream) const {
  inflateEnd(stream);
  delete stream;
}

// 16 + MAX_WBITS: gzip framing only, so a raw zlib stream is refused too.
GzipDecoder::GzipDecoder(size_t limit) : stream_(StartInflate(16 + MAX_WBITS)), limit_(limit) {
  if (!stream_) message_ = "cannot start the gzip decoder";
}

GzipDecoder::Result GzipDecoder::Feed(std::string_view piece, std::string& out) {
  if (!message_.empty()) return Result::kCorrupt;
  if (finished_) {
    if (piece.empty()) return Result::kDone;
    message_ = "data after the end of the gzip stream";
    return Result::kCorrupt;
  }
  if (piece.size() > UINT32_MAX) {
    message_ = "a piece too large to decode at once";
    return Result::kCorrupt;
  }
  stream_->next_in = reinterpret_cast<Bytef*>(const_cast<char*>(piece.data()));
  stream_->avail_in = static_cast<uInt>(piece.size());
  unsigned char buffer[kChunk];
  do {
    stream_->next_out = buffer;
    stream_->avail_out = sizeof buffer;
    const int rc = inflate(stream_.get(), Z_NO_FLUSH);
    if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR) {
      message_ = stream_->msg ? stream_->msg : "corrupt gzip data";
      return Result::kCorrupt;
    }
    const size_t made = sizeof buffer - stream_->avail_out;
    produced_ += made;
    if (produced_ > limit_) {
      message_ = "the decompressed document is larger than the limit";
      return Result::kTooLarge;
    }
    out.append(reinterpret_cast<char*>(buffer), made);
    if (rc == Z_STREAM_END) {
      finished_ = true;
      if (stream_->avail_in != 0) {
        message_ = "data after the end of the gzip stream";
        return Result::kCorrupt;
      }
      return Result::kDone;
    }
    if (rc == Z_BUF_ERROR && stream_->avail_in == 0) break;
  } while (stream_->avail_in > 0 || stream_->avail_out == 0);
  return Result::kMore;
}

GzipDecoder::Result GunzipAll(std::string_view gz, size_t limit, std::string& out) {
  GzipDecoder decoder(limit);
  const auto result = decoder.Feed(gz, out);
  return result == GzipDecoder::Result::kMore ? GzipDecoder::Result::kCorrupt : result;
}

// Level 1: bodies are kept for retrieval, not archived; speed matters more.
Status Pack(std::string_view bytes, std::string& packed) {
  if (!codec::Compress(bytes, codec::Framing::kZlib, 1, packed)) return Failure("cannot compress the document");
  return {};
}

Status Unpack(std::string_view packed, std::string& out) {
  const Inflater s = StartInflate(MAX_WBITS);
  if (!s) return {StatusCode::kInternal, "cannot start the decoder"};
  if (packed.size() > UINT32_MAX) return {StatusCode::kInternal, "a stored body is damaged"};
  s->next_in = reinterpret_cast<Bytef*>(const_cast<char*>(packed.data()));
  s->avail_in = static_cast<uInt>(packed.size());
  unsigned char buffer[kChunk];
  int rc = Z_OK;
  while (rc == Z_OK) {
    s->next_out = buffer;
    s->avail_out = sizeof buffer;
    rc = inflate(s.get(), Z_NO_FLUSH);
    out.append(reinterpret_cast<char*>(buffer), sizeof buffer - s->avail_out);
  }
  return rc == Z_STREAM_END ? Status() : Status(StatusCode::kInternal, "a stored body is damaged");
}

}  // namespace collector
