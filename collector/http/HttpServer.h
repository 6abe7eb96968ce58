// The HTTP front: limits and authentication first, then the body, then the
// store. A few polling threads serve every connection; whatever may block
// (storing a document, querying the store) runs on worker threads while its
// connection is suspended, so idle or slow connections hold no thread.
#pragma once
#include <sys/socket.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "collector/base/Status.h"
#include "collector/http/Access.h"
#include "collector/http/Intake.h"
#include "collector/http/Tokens.h"
#include "collector/store/Store.h"

struct MHD_Daemon;

namespace collector {

class Watchdog;
class WorkQueue;

// Stops the daemon: its threads end, and every connection is closed.
struct DaemonStop {
  void operator()(MHD_Daemon* daemon) const;
};

struct ServerConfig {
  sockaddr_storage address{};  // where to listen; port 0 picks a free one
  size_t maxBody = 0;          // the largest document, on the wire and decompressed
  int timeoutSeconds = 30;     // for the body's minimum rate, and idle connections
  int headerSeconds = 5;       // for the request line and headers, at most timeoutSeconds
  std::string certPem, keyPem; // HTTPS when both are set
  unsigned maxConnections = 4000;
  unsigned maxPerAddress = 1000;  // connections from one client address
  bool openMetrics = false;       // /metrics needs no token (the address is loopback)
};

class HttpServer {
 public:
  // `store` and `tokens` must outlive the server; tokens may require none.
  HttpServer(Store& store, const Tokens& tokens);
  // Stops without a bound on the drain.
  ~HttpServer();
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  Status Start(const ServerConfig& config);
  // The port actually listened on.
  uint16_t Port() const;
  // Stops accepting, waits up to `drainMs` for the requests under way to be
  // answered, then closes every connection. False when some were still
  // under way: the server is then left as it is, and only ending the
  // process is safe.
  bool Stop(int64_t drainMs = INT64_MAX);

  // Documents being received are held in memory; together they may take at
  // most four times the largest document, those from one address a quarter
  // of that.
  Budget& budget() { return *budget_; }
  Store& store() { return store_; }
  const Tokens& tokens() const { return tokens_; }
  Access& access() { return *access_; }
  const ServerConfig& config() const { return config_; }
  Watchdog* watchdog() { return watchdog_.get(); }
  WorkQueue& storing() { return *storing_; }
  WorkQueue& answering() { return *answering_; }
  // Requests whose headers are in and whose answer is not yet sent.
  std::atomic<int>& underWay() { return underWay_; }
  // Stop was called: new requests are turned away.
  bool closing() const { return closing_; }

 private:
  Store& store_;
  const Tokens& tokens_;
  ServerConfig config_;
  std::unique_ptr<Access> access_;
  std::unique_ptr<Budget> budget_;
  std::unique_ptr<Watchdog> watchdog_;
  std::unique_ptr<WorkQueue> storing_, answering_;
  std::atomic<int> underWay_{0};
  std::atomic<bool> closing_{false};
  int listenFd_ = -1;
  std::unique_ptr<MHD_Daemon, DaemonStop> daemon_;
};

}  // namespace collector
