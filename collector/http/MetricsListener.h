// `serve --metrics-listen ADDR:PORT`: GET /metrics alone, on an address of
// its own and without a token, so that a scraper needs no token for the
// main address and the main address need not answer it.
#pragma once
#include <sys/socket.h>

#include <cstdint>
#include <functional>
#include <memory>

#include "collector/base/Status.h"
#include "collector/http/HttpServer.h"

namespace collector {

class MetricsListener {
 public:
  // `receivingBytes` is asked at each scrape, from the listener's thread.
  explicit MetricsListener(std::function<int64_t()> receivingBytes) : receivingBytes_(std::move(receivingBytes)) {}
  Status Start(const sockaddr_storage& address);
  uint16_t Port() const;

 private:
  std::function<int64_t()> receivingBytes_;
  sockaddr_storage address_{};
  std::unique_ptr<MHD_Daemon, DaemonStop> daemon_;  // stopped first when destroyed
};

}  // namespace collector
