#include "collector/Watchdog.h"

#include <sys/socket.h>

#include <chrono>

namespace collector {

int64_t MonotonicMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

Watchdog::Watchdog(int seconds) : limitMs_(int64_t{seconds} * 1000), thread_([this] { Run(); }) {}

Watchdog::~Watchdog() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  thread_.join();
  for (Clock* clock : clocks_) delete clock;
}

Watchdog::Clock* Watchdog::Watch(int fd) {
  auto* clock = new Clock;
  clock->fd = fd;
  clock->startMs = MonotonicMs();
  std::lock_guard<std::mutex> lock(mutex_);
  clocks_.insert(clock);
  return clock;
}

void Watchdog::Forget(Clock* clock) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    clocks_.erase(clock);
  }
  delete clock;
}

void Watchdog::Restart(Clock* clock) {
  clock->bytes = 0;
  clock->startMs = MonotonicMs();
  clock->answering = false;
}

void Watchdog::Run() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!stopping_) {
    wake_.wait_for(lock, std::chrono::milliseconds(200));
    const int64_t now = MonotonicMs();
    for (Clock* clock : clocks_) {
      if (clock->answering) continue;
      const int64_t deadline = clock->startMs + limitMs_ + clock->bytes * 1000 / kBytesPerSecond;
      // Shutting the socket down (not closing it) wakes the connection's
      // thread with an end of stream; the server then closes it. The lock
      // keeps Forget, and so the close, from running meanwhile.
      if (now > deadline) shutdown(clock->fd, SHUT_RDWR);
    }
  }
}

}  // namespace collector
