// What the collector counts, for GET /metrics in the Prometheus text
// format. One set per process, safe from any thread; every count only grows
// except the gauges (connections, bytes in flight).
#pragma once
#include <array>
#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <tuple>

namespace collector {

// A histogram of seconds with fixed bounds.
class Histogram {
 public:
  static constexpr std::array<double, 12> kBounds = {0.005, 0.01, 0.025, 0.05, 0.1, 0.25, 0.5, 1, 2.5, 5, 10, 30};
  void Observe(int64_t ms);
  // The exposition lines of the histogram `name`.
  std::string Lines(const std::string& name) const;

 private:
  std::array<std::atomic<uint64_t>, kBounds.size()> buckets_{};  // each counts its own range only
  std::atomic<uint64_t> count_{0};
  std::atomic<int64_t> sumMs_{0};
};

class Metrics {
 public:
  // One request answered (`code`), or cut without an answer (code 0).
  // `route` is the route table's pattern, never a request's own path.
  void Request(const std::string& route, std::string_view method, int code, int64_t ms);
  void Refusal(const std::string& cause);
  void Received(uint64_t bytes) { receivedBytes_ += bytes; }
  // A document stored: "report" or "analytics"; a duplicate or an unparsed one.
  void Stored(const std::string& kind) { Count(stored_, kind); }
  void Duplicate() { ++duplicates_; }
  void Unparsed() { ++unparsed_; }
  void StoreError() { ++storeErrors_; }
  void Commit(int64_t ms) { commits_.Observe(ms); }
  // Sign-ins by result ("ok", "failed", "limited"), and sign-outs.
  void SignIn(const std::string& result) { Count(signIns_, result); }
  void SignOut() { ++signOuts_; }
  void Connection(int change) { connections_ += change; }

  // The exposition text; `receivingBytes` is what the documents in flight hold.
  std::string Text(int64_t receivingBytes) const;

 private:
  void Count(std::map<std::string, uint64_t>& counts, const std::string& key);

  mutable std::mutex mutex_;  // for the maps
  std::map<std::tuple<std::string, std::string, int>, uint64_t> requests_;
  std::map<std::string, uint64_t> refusals_, stored_, signIns_;
  Histogram durations_, commits_;
  std::atomic<uint64_t> receivedBytes_{0}, duplicates_{0}, unparsed_{0}, storeErrors_{0}, signOuts_{0};
  std::atomic<int64_t> connections_{0};
};

// The process's metrics.
Metrics& TheMetrics();

// A label's value in the exposition format: backslash, quote and line feed escaped.
std::string LabelValue(std::string_view text);

}  // namespace collector
