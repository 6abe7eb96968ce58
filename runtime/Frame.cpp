#include "runtime/Frame.h"

#include <algorithm>
#include <cstring>

#include "runtime/Sequence.h"
#include "runtime/Str.h"
#include "runtime/SystemError.h"

namespace sys::message::frame {
namespace {

constexpr const wchar_t* kClosedText = L"Connection closed";
// Payloads up to this size are sent with their header in one system write.
constexpr size_t kJoinedWriteBytes = 64 * 1024;
// A larger read buffer would only hold bytes of frames not yet asked for.
constexpr size_t kMaxBufferBytes = 1 << 20;
// The first step of a payload read straight from the stream.
constexpr size_t kGrowthBytes = 64 * 1024;

void PutLength(char* out, uint32_t length) {
  for (size_t i = 0; i < kHeaderBytes; ++i) out[i] = static_cast<char>((length >> (8 * i)) & 0xFF);
}

uint32_t GetLength(const char* in) {
  uint32_t length = 0;
  for (size_t i = 0; i < kHeaderBytes; ++i) length |= static_cast<uint32_t>(static_cast<unsigned char>(in[i])) << (8 * i);
  return length;
}

// Moves `size` bytes with `step` (a ReadSome or WriteSome), going on after
// partial and interrupted calls; `endText` names a peer that stopped early.
template <class Byte, class Step>
qtl::status TransferAll(Byte* data, size_t size, const wchar_t* endText, Step step) {
  while (size > 0) {
    const IoResult result = step(data, size);
    if (result.kind == IoResult::kInterrupted) continue;
    if (result.kind == IoResult::kFailed) return BrokenConnection(result.error);
    if (result.kind == IoResult::kEnd || result.count == 0) return qtl::status::error(endText);
    const size_t count = std::min(result.count, size);
    data += count;
    size -= count;
  }
  return qtl::ok_status();
}

qtl::status WriteAll(IByteStream& stream, const char* data, size_t size) {
  return TransferAll(data, size, L"Connection closed while sending",
                     [&](const char* at, size_t n) { return stream.WriteSome(at, n); });
}

qtl::status TooLarge(size_t length) {
  return qtl::status::error(L"Frame too large: " + std::to_wstring(length) + L" bytes, at most " +
                            std::to_wstring(kMaxPayloadBytes) + L" allowed");
}

}  // namespace

qtl::status BrokenConnection(uint32_t error) {
  return qtl::status::error(L"Connection broken: " + str::as_wstring(QRNErrMsg(error)));
}

qtl::status ConnectionClosed() { return qtl::status::error(kClosedText); }

bool IsConnectionClosed(const qtl::status& status) { return !status.ok() && status.get()->message == kClosedText; }

qtl::status WriteFrame(IByteStream& stream, std::string_view payload) {
  if (payload.size() > kMaxPayloadBytes) return TooLarge(payload.size());
  char header[kHeaderBytes];
  PutLength(header, static_cast<uint32_t>(payload.size()));
  if (payload.size() > kJoinedWriteBytes) {
    qtl::status status = WriteAll(stream, header, sizeof header);
    return status.ok() ? WriteAll(stream, payload.data(), payload.size()) : status;
  }
  std::string joined(header, sizeof header);
  joined.append(payload);
  return WriteAll(stream, joined.data(), joined.size());
}

FrameReader::FrameReader(IByteStream& stream, size_t bufferBytes)
    : stream_(stream), buffer_(std::clamp(bufferBytes, kHeaderBytes, kMaxBufferBytes)) {}

qtl::status FrameReader::FillAtLeast(size_t bytes) {
  if (begin_ + bytes > buffer_.size()) {
    std::memmove(buffer_.data(), buffer_.data() + begin_, Buffered());
    end_ -= begin_;
    begin_ = 0;
  }
  while (Buffered() < bytes) {
    const IoResult result = stream_.ReadSome(buffer_.data() + end_, buffer_.size() - end_);
    if (result.kind == IoResult::kInterrupted) continue;
    if (result.kind == IoResult::kFailed) return BrokenConnection(result.error);
    if (result.kind == IoResult::kEnd || result.count == 0) {
      return Buffered() == 0 ? ConnectionClosed() : qtl::status::error(L"Truncated frame");
    }
    end_ += std::min(result.count, buffer_.size() - end_);
  }
  return qtl::ok_status();
}

qtl::status FrameReader::ReadDirect(char* data, size_t size) {
  return TransferAll(data, size, L"Truncated frame", [&](char* at, size_t n) { return stream_.ReadSome(at, n); });
}

qtl::status FrameReader::Read(std::string& payload) {
  qtl::status filled = FillAtLeast(kHeaderBytes);
  if (!filled.ok()) return filled;
  const uint32_t length = GetLength(buffer_.data() + begin_);
  if (length > kMaxPayloadBytes) return TooLarge(length);
  begin_ += kHeaderBytes;
  const size_t fromBuffer = std::min<size_t>(length, Buffered());
  payload.assign(buffer_.data() + begin_, fromBuffer);
  begin_ += fromBuffer;
  if (begin_ == end_) begin_ = end_ = 0;
  // Storage grows with the bytes that really arrive, so a length alone
  // never commits the maximum.
  while (payload.size() < length) {
    const size_t done = payload.size();
    const size_t step = std::min<size_t>(length - done, std::max(kGrowthBytes, done));
    payload.resize(done + step);
    qtl::status status = ReadDirect(&payload[done], step);
    if (!status.ok()) return status;
  }
  return qtl::ok_status();
}

std::string EncodeRequest(const std::string& name, const std::string& arguments) {
  qrn::grammar::Sequence request({name, arguments});
  std::string payload;
  request.Encode(payload);
  return payload;
}

bool DecodeRequest(const std::string& payload, std::string& name, std::string& arguments) {
  qrn::grammar::Sequence request;
  try {
    request.Decode(payload);
  } catch (const qtl::status_exception&) {
    return false;
  }
  if (request.value.size() != 2) return false;
  name = std::move(request.value[0]);
  arguments = std::move(request.value[1]);
  return true;
}

}  // namespace sys::message::frame
