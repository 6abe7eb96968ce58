// A duplex remote-call connection that carries frames (runtime/Frame.h) over
// a byte stream.
#pragma once
#include <memory>
#include <mutex>

#include "runtime/ByteStream.h"
#include "runtime/Connection.h"
#include "runtime/Frame.h"

namespace sys::message {

class FrameConnection : public IReaderWriterConnection {
 public:
  // A working connection; `readBufferBytes` as for frame::FrameReader.
  FrameConnection(std::unique_ptr<IByteStream> stream, size_t readBufferBytes);
  // A connection that could not be made: every operation answers `failure`.
  explicit FrameConnection(qtl::status failure);

  qtl::status GetStatus() override { return failure_; }
  // One thread may read while another writes; two readers or two writers
  // must take turns.
  qtl::status Read(std::string& text) override;
  qtl::status Write(const std::string& text) override;
  void Close() override;

 private:
  qtl::status failure_;
  std::unique_ptr<IByteStream> stream_;
  std::unique_ptr<frame::FrameReader> reader_;
};

}  // namespace sys::message
