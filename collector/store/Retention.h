// Removing old documents a batch at a time: `prune` once, `serve
// --retain-days` in the background.
#pragma once
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "collector/store/Store.h"

namespace collector {

// Small transactions, each holding the write lock briefly, with a pause
// between them in which uploads get it.
constexpr int64_t kRemovalBatch = 50;
constexpr std::chrono::milliseconds kRemovalPause{100};

// Removes what `selection` names, `selection.limit` documents per
// transaction, waiting `pause` between transactions so that uploads are
// never held up for long; then gives the space back (`rewrite` as in
// Store::Reclaim). `removed` counts what went, also when a batch failed.
Status Prune(Store& store, Selection selection, std::chrono::milliseconds pause, bool rewrite, Removed& removed,
             const std::function<bool()>& stopping = {});

// "3 documents, 40 events, 2 groups, 9 data points, 1 machine facts, 2 disks"
std::string DescribeRemoved(const Removed& removed);

// Every hour (and once at the start) removes the documents received more
// than `days` days ago, and logs what it removed.
class Retention {
 public:
  Retention(Store& store, int64_t days);
  // Waits for the batch under way.
  ~Retention();
  Retention(const Retention&) = delete;
  Retention& operator=(const Retention&) = delete;

 private:
  void Run();

  Store& store_;
  const int64_t days_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace collector
