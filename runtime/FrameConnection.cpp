#include "runtime/FrameConnection.h"

namespace sys::message {

FrameConnection::FrameConnection(std::unique_ptr<IByteStream> stream, size_t readBufferBytes)
    : stream_(std::move(stream)), reader_(std::make_unique<frame::FrameReader>(*stream_, readBufferBytes)) {}

FrameConnection::FrameConnection(qtl::status failure) : failure_(std::move(failure)) {}

qtl::status FrameConnection::Read(std::string& text) {
  if (!reader_) return failure_.ok() ? frame::ConnectionClosed() : failure_;
  return reader_->Read(text);
}

qtl::status FrameConnection::Write(const std::string& text) {
  if (!stream_) return failure_.ok() ? qtl::status::error(L"Connection closed") : failure_;
  return frame::WriteFrame(*stream_, text);
}

void FrameConnection::Close() {
  if (stream_) stream_->Close();
}

}  // namespace sys::message
