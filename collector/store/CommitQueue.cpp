#include "collector/store/CommitQueue.h"

namespace collector {

Status CommitQueue::Submit(PendingPut& put, const BatchRunner& run) {
  std::unique_lock<std::mutex> lock(mutex_);
  waiting_.push_back(&put);
  while (!put.done) {
    if (running_) {
      finished_.wait(lock);
      continue;
    }
    running_ = true;
    const size_t count = std::min(maxBatch_, waiting_.size());
    std::vector<PendingPut*> batch(waiting_.begin(), waiting_.begin() + static_cast<std::ptrdiff_t>(count));
    waiting_.erase(waiting_.begin(), waiting_.begin() + static_cast<std::ptrdiff_t>(count));
    lock.unlock();
    run(batch);
    lock.lock();
    for (PendingPut* p : batch) p->done = true;
    running_ = false;
    finished_.notify_all();
  }
  return put.status;
}

}  // namespace collector
