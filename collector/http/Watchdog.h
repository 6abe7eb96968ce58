// Cuts connections whose sender is too slow: the headers must arrive within
// a short deadline, and then the body at a minimum rate. The server's idle
// time-out alone cannot stop a sender that drips one byte at a time.
#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <memory>
#include <thread>
#include <unordered_map>

namespace collector {

class Watchdog {
 public:
  // A request's headers get `headerSeconds` from the moment its connection
  // is ready for it; its body then gets `bodySeconds`, plus one second per
  // kBytesPerSecond received.
  static constexpr int64_t kBytesPerSecond = 64 * 1024;

  // The state of one connection. Touched by the thread serving it and read
  // by the watchdog's.
  struct Clock {
    int fd = -1;
    std::atomic<int64_t> startMs{0};
    std::atomic<int64_t> limitMs{0};
    std::atomic<int64_t> bytes{0};
    std::atomic<bool> answering{false};  // reading is done; the deadline no longer runs
    std::atomic<bool> inBody{false};     // the headers are in
    bool cut = false;                    // the watchdog's own: shut down once, logged once
  };

  Watchdog(int headerSeconds, int bodySeconds);
  ~Watchdog();
  Watchdog(const Watchdog&) = delete;
  Watchdog& operator=(const Watchdog&) = delete;

  // Starts watching the socket `fd`; the clock is owned here until Forget,
  // which must come before the socket is closed.
  Clock* Watch(int fd);
  void Forget(Clock* clock);
  // A new request on the same connection: the headers' deadline starts again.
  void Restart(Clock* clock) const;
  // The headers are in: the body's deadline starts.
  void AwaitBody(Clock* clock) const;
  // When a request that started at `startMs` and has sent `bytes` of its
  // body is cut: `limitMs` after its start, plus a second per kBytesPerSecond.
  static constexpr int64_t DeadlineMs(int64_t startMs, int64_t limitMs, int64_t bytes) {
    return startMs + limitMs + bytes * 1000 / kBytesPerSecond;
  }

 private:
  void Run();

  const int64_t headerMs_, bodyMs_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::unordered_map<Clock*, std::unique_ptr<Clock>> clocks_;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace collector
