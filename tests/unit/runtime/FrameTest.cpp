#include "runtime/Frame.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <utility>

#include "runtime/Str.h"

namespace {

using namespace sys::message::frame;
using sys::message::IoResult;

// A stream whose system calls are scripted: each moves at most `chunk` bytes,
// every other one is interrupted, and writes fail after `writeFailsAfter` bytes.
struct ScriptedStream : sys::message::IByteStream {
  explicit ScriptedStream(std::string in = "", size_t bytes = 1) : input(std::move(in)), chunk(bytes) {}
  std::string input, written;
  size_t chunk = 1, offset = 0, reads = 0, writeFailsAfter = std::string::npos;
  bool flip = false;

  IoResult ReadSome(void* data, size_t size) override {
    ++reads;
    if ((flip = !flip)) return {IoResult::kInterrupted};
    if (offset == input.size()) return {IoResult::kEnd};
    const size_t count = std::min({size, chunk, input.size() - offset});
    std::memcpy(data, input.data() + offset, count);
    offset += count;
    return {IoResult::kDone, count};
  }
  IoResult WriteSome(const void* data, size_t size) override {
    if ((flip = !flip)) return {IoResult::kInterrupted};
    if (written.size() >= writeFailsAfter) return {IoResult::kFailed, 0, 32};
    const size_t count = std::min({size, chunk, writeFailsAfter - written.size()});
    written.append(static_cast<const char*>(data), count);
    return {IoResult::kDone, count};
  }
  void Close() override {}
};

std::string Header(uint32_t length) {
  return {char(length), char(length >> 8), char(length >> 16), char(length >> 24)};
}

std::string Message(const qtl::status& status) { return status.ok() ? "ok" : str::as_u8string(status.get()->message); }

TEST(Frame, ReadsBackToBackFramesThroughShortAndInterruptedReads) {
  const std::vector<std::string> payloads = {"hello", "", std::string(100000, 'b'), ";&"};  // one outgrows the buffer
  std::string input;
  for (const auto& payload : payloads) input += Header(payload.size()) + payload;
  for (size_t bufferBytes : {0, 3, 16, 1024}) {
    for (size_t chunk : {1, 7, 4096}) {
      ScriptedStream stream(input, chunk);
      FrameReader reader(stream, bufferBytes);
      std::string payload;
      for (const auto& expected : payloads) {
        ASSERT_TRUE(reader.Read(payload).ok());
        EXPECT_EQ(payload, expected);
        // A small frame that the buffer holds takes one read (and one interrupted call).
        if (&expected == &payloads[0] && chunk == 4096 && bufferBytes == 1024) EXPECT_EQ(stream.reads, 2u);
      }
      EXPECT_EQ(Message(reader.Read(payload)), "Connection closed");
    }
  }
}

// Over-long lengths and truncation as the server meets them: server_mode_test.py's WireTest.
TEST(Frame, TheLargestFrameGoesThroughAndNoLargerIsWritten) {
  ScriptedStream exact(Header(kMaxPayloadBytes) + std::string(kMaxPayloadBytes, 'm'), 1 << 20);
  std::string payload;
  EXPECT_TRUE(FrameReader(exact, 1024).Read(payload).ok() && payload.size() == kMaxPayloadBytes);
  EXPECT_EQ(Message(WriteFrame(exact, std::string(kMaxPayloadBytes + 1, 'x'))).rfind("Frame too large", 0), 0u);
  EXPECT_EQ(exact.written, "");
}

// The header is the payload's length in four little-endian bytes.
TEST(Frame, WritesGoOnAfterPartialWritesAndStopWhenBroken) {
  ScriptedStream stream("", 3), broken;
  const std::string big(70000, 'w');  // header and payload written separately
  EXPECT_TRUE(WriteFrame(stream, big).ok() && stream.written == Header(big.size()) + big);
  broken.writeFailsAfter = 2;
  EXPECT_EQ(Message(WriteFrame(broken, "abc")).rfind("Connection broken", 0), 0u);
}

}  // namespace
