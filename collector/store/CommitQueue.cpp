#include "collector/store/CommitQueue.h"

#include <algorithm>

#include "collector/base/ScopeExit.h"

namespace collector {

Status CommitQueue::Submit(PendingPut& put, const BatchRunner& run) {
  std::unique_lock<std::mutex> lock(mutex_);
  waiting_.push_back(&put);
  // Leaving by a throw while `put` still waits: no batch may run it later.
  ScopeExit forget([&] {
    if (!put.done) waiting_.erase(std::remove(waiting_.begin(), waiting_.end(), &put), waiting_.end());
  });
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
    {
      // Also when `run` throws: the batch's other waiters and every later
      // upload must not wait for a batch that will never finish.
      ScopeExit finish([&] {
        lock.lock();
        for (PendingPut* p : batch) {
          if (!p->finished) p->status = Failure("storing the document failed unexpectedly");
          p->done = true;
        }
        running_ = false;
        finished_.notify_all();
      });
      run(batch);
      for (PendingPut* p : batch) p->finished = true;
    }
  }
  return put.status;
}

}  // namespace collector
