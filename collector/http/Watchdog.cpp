#include "collector/http/Watchdog.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <string>
#include <vector>

#include "collector/base/Clock.h"
#include "collector/base/Log.h"
#include "collector/http/Metrics.h"

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
  clock->inBody = false;
}

void Watchdog::AwaitBody(Clock* clock) const {
  clock->bytes = 0;
  clock->limitMs = bodyMs_;
  clock->startMs = MonotonicMs();
  clock->inBody = true;
}

namespace {

std::string PeerOf(int fd) {
  sockaddr_storage address{};
  socklen_t length = sizeof address;
  char text[INET6_ADDRSTRLEN] = "";
  if (getpeername(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) return "";
  if (address.ss_family == AF_INET) {
    inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(&address)->sin_addr, text, sizeof text);
  } else if (address.ss_family == AF_INET6) {
    inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(&address)->sin6_addr, text, sizeof text);
  }
  return text;
}

}  // namespace

void Watchdog::Run() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!stopping_) {
    wake_.wait_for(lock, std::chrono::milliseconds(200));
    const int64_t now = MonotonicMs();
    std::vector<std::pair<std::string, bool>> cut;  // the client, and whether it was the headers
    for (const auto& [key, clock] : clocks_) {
      if (clock->answering || clock->cut) continue;
      const int64_t deadline = DeadlineMs(clock->startMs, clock->limitMs, clock->bytes);
      if (now <= deadline) continue;
      // Shutting the socket down (not closing it) wakes the thread polling
      // it with an end of stream; the server then closes it. The lock
      // keeps Forget, and so the close, from running meanwhile.
      cut.emplace_back(PeerOf(clock->fd), !clock->inBody);
      shutdown(clock->fd, SHUT_RDWR);
      clock->cut = true;
    }
    lock.unlock();  // a log line may wait for its reader; the connections may not
    for (const auto& [client, headers] : cut) {
      TheMetrics().Refusal("slow_sender");
      LogLine("refused")
          .Text("client", client)
          .Text("refused", "slow_sender")
          .Text("reason", headers ? "the request line and headers did not come in time"
                                  : "the body came slower than the least rate")
          .Write();
    }
    lock.lock();
  }
}

}  // namespace collector
