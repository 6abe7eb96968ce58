// The queued mode of TallyClient: calls wait in memory and one background
// thread sends them in the order they came, so a caller never waits for the
// server unless it needs the answer.
#pragma once
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "runtime/Status.h"

namespace tally {

class CallQueue {
 public:
  // Sends one encoded request and reads its reply; a failing status means
  // the connection is gone.
  using Exchange = std::function<qtl::status(const std::string& request, std::string& reply)>;

  // Starts the thread. Past `limit` posted calls waiting, the oldest of
  // them is dropped.
  CallQueue(Exchange exchange, size_t limit);
  // Stops as Stop does.
  ~CallQueue();
  CallQueue(const CallQueue&) = delete;
  CallQueue& operator=(const CallQueue&) = delete;

  // Queues a call whose reply says nothing but whether it worked; that
  // reply is only counted (Summary). Fails once stopped.
  qtl::status Post(const std::string& name, std::string request);
  // Queues a call and waits for its reply, which comes after every call
  // queued before it. Never dropped; fails when stopped before it was sent.
  qtl::status Send(std::string request, std::string& reply);

  // Waits until every queued call has been answered, or `deadline`; false
  // when calls are still waiting.
  bool WaitUntilEmpty(std::chrono::steady_clock::time_point deadline);
  // Ends the thread once the call in flight returns; calls still waiting
  // are not sent. Idempotent.
  void Stop();

  // Empty when every posted call was sent and answered ok; otherwise says
  // how many were dropped, not sent, or failed (naming the first failure).
  qtl::status Summary() const;

 private:
  struct Item {
    std::string name;  // of a posted call
    std::string request;
    std::unique_ptr<std::promise<std::pair<qtl::status, std::string>>> waiter;  // of a sent call
  };

  void Run();
  void Account(const Item& item, const qtl::status& sent, const std::string& reply);
  void DropOldestPosted();

  Exchange exchange_;
  const size_t limit_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;  // work arrived, or stop
  std::condition_variable idle_;  // a call was answered
  std::deque<Item> items_;
  size_t posted_ = 0;  // items without a waiter
  bool busy_ = false;
  bool stopping_ = false;
  uint64_t dropped_ = 0, unsent_ = 0, failed_ = 0;
  std::wstring firstUnsent_, firstFailure_;
  std::thread thread_;
};

}  // namespace tally
