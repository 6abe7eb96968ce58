#include "collector/http/Watchdog.h"

#include <sys/socket.h>

#include "collector/base/Clock.h"

namespace collector {

Watchdog::Watchdog(int headerSeconds, int bodySeconds)
    : headerMs_(int64_t{headerSeconds} * 1000), bodyMs_(int64_t{bodySeconds} * 1000), thread_([this] { Run(); }) {}

Watchdog::~Watchdog() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

Watchdog::Clock* Watchdog::Watch(int fd) {
  auto owned = std::make_unique<Clock>();
  Clock* clock = owned.get();
  clock->fd = fd;
  Restart(clock);
  std::lock_guard<std::mutex> lock(mutex_);
  clocks_.emplace(clock, std::move(owned));
  return clock;
}

void Watchdog::Forget(Clock* clock) {
  std::unique_ptr<Clock> owned;  // freed outside the lock
  std::lock_guard<std::mutex> lock(mutex_);
  if (auto it = clocks_.find(clock); it != clocks_.end()) {
    owned = std::move(it->second);
    clocks_.erase(it);
  }
}

void Watchdog::Restart(Clock* clock) const {
  clock->bytes = 0;
  clock->limitMs = headerMs_;
  clock->startMs = MonotonicMs();
  clock->answering = false;
}

void Watchdog::AwaitBody(Clock* clock) const {
  clock->bytes = 0;
  clock->limitMs = bodyMs_;
  clock->startMs = MonotonicMs();
}

void Watchdog::Run() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!stopping_) {
    wake_.wait_for(lock, std::chrono::milliseconds(200));
    const int64_t now = MonotonicMs();
    for (const auto& [key, clock] : clocks_) {
      if (clock->answering) continue;
      const int64_t deadline = DeadlineMs(clock->startMs, clock->limitMs, clock->bytes);
      // Shutting the socket down (not closing it) wakes the thread polling
      // it with an end of stream; the server then closes it. The lock
      // keeps Forget, and so the close, from running meanwhile.
      if (now > deadline) shutdown(clock->fd, SHUT_RDWR);
    }
  }
}

}  // namespace collector
