// Untrusted bytes from the pipe: frames read in arbitrary chunks, and each
// payload taken apart as a request, must never crash or over-allocate.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#include "runtime/Frame.h"

namespace {

// Hands out the input in chunks whose sizes come from the input itself.
class ChunkedStream : public sys::message::IByteStream {
 public:
  ChunkedStream(const uint8_t* data, size_t size, size_t chunk) : data_(data), size_(size), chunk_(chunk) {}
  sys::message::IoResult ReadSome(void* out, size_t size) override {
    if (offset_ == size_) return {sys::message::IoResult::kEnd};
    if (++calls_ % 5 == 0) return {sys::message::IoResult::kInterrupted};
    const size_t count = std::min({size, chunk_, size_ - offset_});
    std::memcpy(out, data_ + offset_, count);
    offset_ += count;
    return {sys::message::IoResult::kDone, count};
  }
  sys::message::IoResult WriteSome(const void*, size_t size) override { return {sys::message::IoResult::kDone, size}; }
  void Close() override {}

 private:
  const uint8_t* data_;
  size_t size_;
  size_t chunk_;
  size_t offset_ = 0;
  size_t calls_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const size_t chunk = 1 + data[0] % 64;
  const size_t buffer = data[1] * 4u;
  ChunkedStream stream(data + 2, size - 2, chunk);
  sys::message::frame::FrameReader reader(stream, buffer);
  std::string payload, name, arguments;
  while (reader.Read(payload).ok()) {
    if (payload.size() > sys::message::frame::kMaxPayloadBytes) __builtin_trap();
    if (sys::message::frame::DecodeRequest(payload, name, arguments) &&
        sys::message::frame::EncodeRequest(name, arguments) != payload) {
      // A request that decodes must encode back to itself, or client and
      // server could disagree about what was asked.
      __builtin_trap();
    }
  }
  return 0;
}
