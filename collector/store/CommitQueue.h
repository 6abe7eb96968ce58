// Group commit: documents that arrive while a transaction is being made
// durable wait and then go into the next transaction together, so one sync
// to disk serves many of them. The first waiter whose document is not yet
// stored runs the next batch itself; no thread of its own is needed.
#pragma once
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <vector>

#include "collector/store/Store.h"

namespace collector {

struct PendingPut {
  const Arrival* arrival = nullptr;
  RowSource* rows = nullptr;
  PutResult* result = nullptr;
  Status status;          // set by the batch runner
  bool refused = false;   // `rows` failed: the document alone is left out
  bool finished = false;  // the batch runner returned
  bool done = false;      // the batch holding it is over, finished or not
};

class CommitQueue {
 public:
  // Stores each document of a batch and sets its status and result.
  using BatchRunner = std::function<void(const std::vector<PendingPut*>& batch)>;

  explicit CommitQueue(size_t maxBatch) : maxBatch_(maxBatch) {}
  // Returns once the batch holding `put` has been run.
  Status Submit(PendingPut& put, const BatchRunner& run);

 private:
  const size_t maxBatch_;
  std::mutex mutex_;
  std::condition_variable finished_;
  std::deque<PendingPut*> waiting_;
  bool running_ = false;
};

}  // namespace collector
