// A fixed set of threads that run jobs in the order they are posted. The
// HTTP front's polling threads serve thousands of connections each, so
// whatever may block (parsing and storing a document, querying the store)
// is handed to one of these instead.
#pragma once
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace collector {

class WorkQueue {
 public:
  explicit WorkQueue(size_t threads);
  // Runs the jobs still queued, then joins the threads.
  ~WorkQueue();
  WorkQueue(const WorkQueue&) = delete;
  WorkQueue& operator=(const WorkQueue&) = delete;

  // `job` must not throw.
  void Post(std::function<void()> job);

 private:
  void Run();

  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<std::function<void()>> jobs_;
  bool stopping_ = false;
  std::vector<std::thread> threads_;
};

}  // namespace collector
