// The HTTP front: limits and authentication first, then the body, then the
// store. One thread per connection, each with a bounded header buffer.
#pragma once
#include <sys/socket.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "collector/store/Store.h"
#include "collector/http/Tokens.h"
#include "collector/base/Status.h"

struct MHD_Daemon;

namespace collector {

class Watchdog;

// Stops the daemon: its threads end, and every connection is closed.
struct DaemonStop {
  void operator()(MHD_Daemon* daemon) const;
};

struct ServerConfig {
  sockaddr_storage address{};  // where to listen; port 0 picks a free one
  size_t maxBody = 0;          // the largest document, on the wire and decompressed
  int timeoutSeconds = 30;     // for the headers, and the body's minimum rate
  std::string certPem, keyPem; // HTTPS when both are set
  unsigned maxConnections = 256;
};

class HttpServer {
 public:
  // `store` and `tokens` must outlive the server; tokens may require none.
  HttpServer(Store& store, const Tokens& tokens);
  ~HttpServer();
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  Status Start(const ServerConfig& config);
  // The port actually listened on.
  uint16_t Port() const;
  void Stop();

  // Documents being received are held in memory; together they may take at
  // most four times the largest document. Hold is false when `bytes` more
  // would exceed that.
  bool Hold(size_t bytes);
  void Release(size_t bytes) { held_ -= bytes; }
  size_t Held() const { return held_; }

  Store& store() { return store_; }
  const Tokens& tokens() const { return tokens_; }
  const ServerConfig& config() const { return config_; }

 private:
  Store& store_;
  const Tokens& tokens_;
  ServerConfig config_;
  std::unique_ptr<Watchdog> watchdog_;
  std::atomic<size_t> held_{0};
  std::unique_ptr<MHD_Daemon, DaemonStop> daemon_;
};

}  // namespace collector
