#include "collector/document/Compression.h"

#include <zlib.h>

#include "runtime/Gzip.h"

#include "collector/base/Status.h"

namespace collector {
namespace {

constexpr size_t kChunk = 64 * 1024;

}  // namespace

struct Inflater {
  z_stream stream{};
  ~Inflater() { inflateEnd(&stream); }
};

namespace {

// An inflate stream, or null when zlib cannot start one. `windowBits` as
// inflateInit2 takes them.
std::unique_ptr<Inflater> StartInflate(int windowBits) {
  auto inflater = std::make_unique<Inflater>();
  if (inflateInit2(&inflater->stream, windowBits) != Z_OK) inflater.reset();
  return inflater;
}

}  // namespace

// 16 + MAX_WBITS: gzip framing only, so a raw zlib stream is refused too.
GzipDecoder::GzipDecoder(size_t limit) : inflater_(StartInflate(16 + MAX_WBITS)), limit_(limit) {
  if (!inflater_) error_ = {StatusCode::kInternal, "cannot start the gzip decoder"};
}

GzipDecoder::~GzipDecoder() = default;

Status GzipDecoder::Feed(std::string_view piece, std::string& out) {
  if (!error_.ok()) return error_;
  if (piece.size() > UINT32_MAX) return Fail(Invalid("a piece too large to decode at once"));
  z_stream& stream = inflater_->stream;
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(piece.data()));
  stream.avail_in = static_cast<uInt>(piece.size());
  unsigned char buffer[kChunk];
  for (;;) {
    if (finished_) {
      if (stream.avail_in == 0) return {};
      // gzip allows several members one after the other: they are one stream.
      if (inflateReset(&stream) != Z_OK) return Fail({StatusCode::kInternal, "cannot restart the gzip decoder"});
      finished_ = false;
    }
    stream.next_out = buffer;
    stream.avail_out = sizeof buffer;
    const int rc = inflate(&stream, Z_NO_FLUSH);
    if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR) {
      return Fail(Invalid(stream.msg ? stream.msg : "corrupt gzip data"));
    }
    const size_t made = sizeof buffer - stream.avail_out;
    produced_ += made;
    if (produced_ > limit_) {
      return Fail({StatusCode::kTooLarge, "the decompressed document is larger than the limit"});
    }
    out.append(reinterpret_cast<char*>(buffer), made);
    if (rc == Z_STREAM_END) finished_ = true;
    else if (stream.avail_in == 0 && stream.avail_out != 0) return {};  // all taken, nothing held back
  }
}

Status GzipDecoder::Fail(Status error) {
  error_ = std::move(error);
  return error_;
}

Status GunzipAll(std::string_view gz, size_t limit, std::string& out) {
  GzipDecoder decoder(limit);
  if (auto s = decoder.Feed(gz, out); !s.ok()) return s;
  return decoder.Finished() ? Status() : Invalid("the gzip stream ends early");
}

// Level 1: bodies are kept for retrieval, not archived; speed matters more.
Status Pack(std::string_view bytes, std::string& packed) {
  if (!codec::Compress(bytes, codec::Framing::kZlib, 1, packed)) return Failure("cannot compress the document");
  return {};
}

Status Unpack(std::string_view packed, std::string& out) {
  const auto inflater = StartInflate(MAX_WBITS);
  if (!inflater) return {StatusCode::kInternal, "cannot start the decoder"};
  if (packed.size() > UINT32_MAX) return {StatusCode::kInternal, "a stored body is damaged"};
  z_stream& s = inflater->stream;
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
  return rc == Z_STREAM_END ? Status() : Status(StatusCode::kInternal, "a stored body is damaged");
}

}  // namespace collector
