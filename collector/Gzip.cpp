#include "collector/Gzip.h"

#include <zlib.h>

#include "collector/Failure.h"

namespace collector {
namespace {

constexpr size_t kChunk = 64 * 1024;

void Init(z_stream& s) {
  s = z_stream{};
}

}  // namespace

GzipDecoder::GzipDecoder(size_t limit) : stream_(new z_stream), limit_(limit) {
  Init(*stream_);
  // 16 + MAX_WBITS: gzip framing only, so a raw zlib stream is refused too.
  if (inflateInit2(stream_, 16 + MAX_WBITS) != Z_OK) message_ = "cannot start the gzip decoder";
}

GzipDecoder::~GzipDecoder() {
  inflateEnd(stream_);
  delete stream_;
}

GzipDecoder::Result GzipDecoder::Feed(std::string_view piece, std::string& out) {
  if (!message_.empty()) return Result::kCorrupt;
  if (finished_) {
    if (piece.empty()) return Result::kDone;
    message_ = "data after the end of the gzip stream";
    return Result::kCorrupt;
  }
  stream_->next_in = reinterpret_cast<Bytef*>(const_cast<char*>(piece.data()));
  stream_->avail_in = static_cast<uInt>(piece.size());
  unsigned char buffer[kChunk];
  do {
    stream_->next_out = buffer;
    stream_->avail_out = sizeof buffer;
    const int rc = inflate(stream_, Z_NO_FLUSH);
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

namespace {

std::string Deflate(std::string_view bytes, int windowBits, int level) {
  z_stream s;
  Init(s);
  deflateInit2(&s, level, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY);
  std::string out;
  out.reserve(bytes.size() / 4);
  const char* next = bytes.data();
  size_t left = bytes.size();
  unsigned char buffer[kChunk];
  int rc = Z_OK;
  do {
    // avail_in is 32 bits wide; larger inputs go in pieces.
    if (s.avail_in == 0 && left > 0) {
      const size_t step = left < (1u << 30) ? left : (1u << 30);
      s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(next));
      s.avail_in = static_cast<uInt>(step);
      next += step;
      left -= step;
    }
    s.next_out = buffer;
    s.avail_out = sizeof buffer;
    rc = deflate(&s, left == 0 ? Z_FINISH : Z_NO_FLUSH);
    out.append(reinterpret_cast<char*>(buffer), sizeof buffer - s.avail_out);
  } while (rc != Z_STREAM_END);
  deflateEnd(&s);
  return out;
}

}  // namespace

// Level 1: bodies are kept for retrieval, not archived; speed matters more.
std::string Pack(std::string_view bytes) { return Deflate(bytes, MAX_WBITS, 1); }

std::string Gzip(std::string_view bytes) { return Deflate(bytes, 16 + MAX_WBITS, 6); }

qtl::status Unpack(std::string_view packed, std::string& out) {
  z_stream s;
  Init(s);
  if (inflateInit(&s) != Z_OK) return Failure("cannot start the decoder");
  s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(packed.data()));
  s.avail_in = static_cast<uInt>(packed.size());
  unsigned char buffer[kChunk];
  int rc = Z_OK;
  while (rc == Z_OK) {
    s.next_out = buffer;
    s.avail_out = sizeof buffer;
    rc = inflate(&s, Z_NO_FLUSH);
    out.append(reinterpret_cast<char*>(buffer), sizeof buffer - s.avail_out);
  }
  inflateEnd(&s);
  return rc == Z_STREAM_END ? qtl::status() : Failure("a stored body is damaged");
}

}  // namespace collector
