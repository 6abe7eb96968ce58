// A byte stream whose every system call is scripted: reads hand out the
// input a few bytes at a time with interruptions between, writes accept a
// few bytes at a time, and either side can be made to fail.
#pragma once
#include <algorithm>
#include <cstring>
#include <string>

#include "runtime/ByteStream.h"

namespace testing_support {

class ScriptedStream : public sys::message::IByteStream {
 public:
  using IoResult = sys::message::IoResult;

  std::string input;        // what reads deliver, then the end
  std::string written;      // what writes accepted
  size_t chunk = 1;         // most bytes one call moves
  bool interruptEvery = true;  // every other call is interrupted
  size_t writeFailsAfter = std::string::npos;  // bytes accepted before writes fail
  uint32_t failure = 32;    // error code of a failed write
  size_t reads = 0;         // calls to ReadSome, interrupted ones included

  IoResult ReadSome(void* data, size_t size) override {
    ++reads;
    if (Interrupt()) return {IoResult::kInterrupted};
    if (offset_ == input.size()) return {IoResult::kEnd};
    const size_t count = std::min({size, chunk, input.size() - offset_});
    std::memcpy(data, input.data() + offset_, count);
    offset_ += count;
    return {IoResult::kDone, count};
  }

  IoResult WriteSome(const void* data, size_t size) override {
    if (Interrupt()) return {IoResult::kInterrupted};
    if (written.size() >= writeFailsAfter) return {IoResult::kFailed, 0, failure};
    const size_t count = std::min({size, chunk, writeFailsAfter - written.size()});
    written.append(static_cast<const char*>(data), count);
    return {IoResult::kDone, count};
  }

  void Close() override {}

 private:
  bool Interrupt() { return interruptEvery && (flip_ = !flip_); }

  size_t offset_ = 0;
  bool flip_ = false;
};

// The bytes of a frame header for `length`.
inline std::string Header(uint32_t length) {
  std::string out(4, '\0');
  for (int i = 0; i < 4; ++i) out[i] = static_cast<char>((length >> (8 * i)) & 0xFF);
  return out;
}

}  // namespace testing_support
