#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>

#include "testing/MemoryPipe.h"

namespace sys::message {
namespace {

// The error a write into a closed memory pipe reports (the value of EPIPE).
constexpr uint32_t kBrokenPipe = 32;

struct Shared {
  std::mutex mutex;
  std::condition_variable changed;
  std::deque<char> toSide[2];
  bool closed[2] = {false, false};
};

class MemoryStream : public IByteStream {
 public:
  MemoryStream(std::shared_ptr<Shared> shared, int side) : shared_(std::move(shared)), side_(side) {}
  ~MemoryStream() override { Close(); }

  IoResult ReadSome(void* data, size_t size) override {
    std::unique_lock<std::mutex> lock(shared_->mutex);
    auto& queue = shared_->toSide[side_];
    shared_->changed.wait(lock, [&] { return !queue.empty() || shared_->closed[0] || shared_->closed[1]; });
    if (queue.empty()) return shared_->closed[side_] ? IoResult{IoResult::kFailed, 0, kBrokenPipe} : IoResult{IoResult::kEnd};
    const size_t count = std::min(size, queue.size());
    std::copy_n(queue.begin(), count, static_cast<char*>(data));
    queue.erase(queue.begin(), queue.begin() + static_cast<std::ptrdiff_t>(count));
    return {IoResult::kDone, count};
  }

  IoResult WriteSome(const void* data, size_t size) override {
    std::lock_guard<std::mutex> lock(shared_->mutex);
    if (shared_->closed[0] || shared_->closed[1]) return {IoResult::kFailed, 0, kBrokenPipe};
    const char* bytes = static_cast<const char*>(data);
    shared_->toSide[1 - side_].insert(shared_->toSide[1 - side_].end(), bytes, bytes + size);
    shared_->changed.notify_all();
    return {IoResult::kDone, size};
  }

  void Close() override {
    std::lock_guard<std::mutex> lock(shared_->mutex);
    shared_->closed[side_] = true;
    shared_->changed.notify_all();
  }

 private:
  std::shared_ptr<Shared> shared_;
  int side_;
};

}  // namespace

MemoryPipePair MakeMemoryPipePair() {
  auto shared = std::make_shared<Shared>();
  return {std::make_shared<FrameConnection>(std::make_unique<MemoryStream>(shared, 0), 1024),
          std::make_shared<FrameConnection>(std::make_unique<MemoryStream>(shared, 1), 1024)};
}

}  // namespace sys::message
