#include "runtime/Frame.h"

#include <gtest/gtest.h>

#include "runtime/Str.h"
#include "unit/runtime/ScriptedStream.h"

namespace {

using sys::message::frame::DecodeRequest;
using sys::message::frame::EncodeRequest;
using sys::message::frame::FrameReader;
using sys::message::frame::kMaxPayloadBytes;
using sys::message::frame::WriteFrame;
using testing_support::Header;
using testing_support::ScriptedStream;

std::string Message(const qtl::status& status) { return status.ok() ? "ok" : str::as_u8string(status.get()->message); }

TEST(Frame, LayoutIsLittleEndianLengthThenPayload) {
  ScriptedStream stream;
  ASSERT_TRUE(WriteFrame(stream, "abc").ok());
  ASSERT_TRUE(WriteFrame(stream, std::string(0x0102, 'x')).ok());
  ASSERT_TRUE(WriteFrame(stream, "").ok());
  EXPECT_EQ(stream.written, std::string("\x03\0\0\0abc", 7) + std::string("\x02\x01\0\0", 4) + std::string(0x0102, 'x') +
                                std::string(4, '\0'));
}

TEST(Frame, ReadsBackToBackFramesThroughShortAndInterruptedReads) {
  ScriptedStream stream;
  const std::string big(100000, 'b');  // larger than the buffer: read straight into the payload
  stream.input = Header(5) + "hello" + Header(0) + Header(big.size()) + big + Header(2) + ";&";
  for (size_t bufferBytes : {0, 3, 16, 1024}) {
    for (size_t chunk : {1, 7, 4096}) {
      ScriptedStream copy = stream;
      copy.chunk = chunk;
      FrameReader reader(copy, bufferBytes);
      std::string payload;
      ASSERT_TRUE(reader.Read(payload).ok());
      EXPECT_EQ(payload, "hello");
      ASSERT_TRUE(reader.Read(payload).ok());
      EXPECT_EQ(payload, "");
      ASSERT_TRUE(reader.Read(payload).ok());
      EXPECT_EQ(payload, big);
      ASSERT_TRUE(reader.Read(payload).ok());
      EXPECT_EQ(payload, ";&");
      EXPECT_EQ(Message(reader.Read(payload)), "Connection closed");
    }
  }
}

TEST(Frame, OneReadServesASmallFrameWhenTheBufferHoldsIt) {
  ScriptedStream stream;
  stream.input = Header(3) + "abc";
  stream.chunk = 1024;
  stream.interruptEvery = false;
  FrameReader reader(stream, 1024);
  std::string payload;
  ASSERT_TRUE(reader.Read(payload).ok());
  EXPECT_EQ(payload, "abc");
  EXPECT_EQ(stream.reads, 1u);
}

TEST(Frame, EndOfStreamWithinAFrameIsTruncation) {
  for (const std::string& input : {std::string("\x05\0", 2), Header(5) + "abc"}) {
    ScriptedStream stream;
    stream.input = input;
    FrameReader reader(stream, 1024);
    std::string payload;
    EXPECT_EQ(Message(reader.Read(payload)), "Truncated frame");
  }
}

TEST(Frame, LengthOverTheMaximumIsRefusedBeforeReadingThePayload) {
  for (uint32_t length : {kMaxPayloadBytes + 1, 0xFFFFFFFFu}) {
    ScriptedStream stream;
    stream.input = Header(length) + "xyz";
    FrameReader reader(stream, 1024);
    std::string payload = "before";
    qtl::status status = reader.Read(payload);
    EXPECT_EQ(Message(status).rfind("Frame too large", 0), 0u) << Message(status);
    EXPECT_EQ(payload, "before");
  }
  ScriptedStream exact;
  exact.input = Header(kMaxPayloadBytes) + std::string(kMaxPayloadBytes, 'm');
  exact.chunk = 1 << 20;
  FrameReader reader(exact, 1024);
  std::string payload;
  EXPECT_TRUE(reader.Read(payload).ok());
  EXPECT_EQ(payload.size(), kMaxPayloadBytes);
  EXPECT_FALSE(WriteFrame(exact, std::string(kMaxPayloadBytes + 1, 'x')).ok());
}

TEST(Frame, WritesGoOnAfterPartialWritesAndStopWhenBroken) {
  ScriptedStream stream;
  stream.chunk = 3;
  const std::string big(70000, 'w');  // header and payload written separately
  ASSERT_TRUE(WriteFrame(stream, big).ok());
  EXPECT_EQ(stream.written, Header(big.size()) + big);

  ScriptedStream broken;
  broken.writeFailsAfter = 2;
  qtl::status status = WriteFrame(broken, "abc");
  EXPECT_EQ(Message(status).rfind("Connection broken", 0), 0u) << Message(status);
}

TEST(Frame, RequestIsTheSequenceOfNameAndArguments) {
  EXPECT_EQ(EncodeRequest("TrackEvent", "a;b"), "TrackEvent;a&;b");
  EXPECT_EQ(EncodeRequest("EndGroup", ""), "EndGroup;");
  EXPECT_EQ(EncodeRequest("", ""), ";");
  for (const auto& [name, arguments] : {std::pair<std::string, std::string>{"n;&", "x&;y;"}, {"", ""}, {"Process", ""}}) {
    std::string decodedName, decodedArguments;
    ASSERT_TRUE(DecodeRequest(EncodeRequest(name, arguments), decodedName, decodedArguments));
    EXPECT_EQ(decodedName, name);
    EXPECT_EQ(decodedArguments, arguments);
  }
  std::string name, arguments;
  EXPECT_FALSE(DecodeRequest("", name, arguments));
  EXPECT_FALSE(DecodeRequest("OnlyName", name, arguments));
  EXPECT_FALSE(DecodeRequest("a;b;c", name, arguments));
  EXPECT_FALSE(DecodeRequest("a;b&", name, arguments));
}

}  // namespace
