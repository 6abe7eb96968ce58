// The frames of the remote-call wire, the same on every host.
//
// A frame is a 4-byte little-endian unsigned payload length followed by that
// many payload bytes. A payload is at most kMaxPayloadBytes long; a longer
// length is refused before anything is allocated. A request's payload is the
// Sequence text of two items, the call name and the argument text; a reply's
// payload is the result text as the call wrote it.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/ByteStream.h"
#include "runtime/Status.h"

namespace sys::message::frame {

constexpr size_t kHeaderBytes = 4;
constexpr uint32_t kMaxPayloadBytes = 4u << 20;

// Sends one frame whole, going on after partial and interrupted writes.
qtl::status WriteFrame(IByteStream& stream, std::string_view payload);

// Reads frames from a stream. Bytes read ahead stay in its buffer for the
// next frame; the stream must not be read by anyone else.
class FrameReader {
 public:
  // `bufferBytes` is how much one system read may ask for (4 bytes to
  // 1 MiB; other values are brought into that range); a payload that does
  // not fit is read straight into its own storage.
  FrameReader(IByteStream& stream, size_t bufferBytes);

  // The next frame's payload. Fails when the peer closed the connection
  // between frames ("Connection closed"), within a frame ("Truncated frame"),
  // for a length over the maximum, or when the connection broke.
  qtl::status Read(std::string& payload);

 private:
  size_t Buffered() const { return end_ - begin_; }
  qtl::status FillAtLeast(size_t bytes);
  qtl::status ReadDirect(char* data, size_t size);

  IByteStream& stream_;
  std::vector<char> buffer_;
  size_t begin_ = 0;
  size_t end_ = 0;
};

// A request payload: the Sequence of the call name and the argument text.
std::string EncodeRequest(const std::string& name, const std::string& arguments);
// False when `payload` is not a Sequence of exactly two items.
bool DecodeRequest(const std::string& payload, std::string& name, std::string& arguments);

// The failure that a read or write reports for an IoResult of kFailed.
qtl::status BrokenConnection(uint32_t error);

// What a read answers when the peer closed the connection between frames:
// the orderly end of a session, told apart from every other failure by
// IsConnectionClosed.
qtl::status ConnectionClosed();
bool IsConnectionClosed(const qtl::status& status);

}  // namespace sys::message::frame
