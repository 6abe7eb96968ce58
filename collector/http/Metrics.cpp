#include "collector/http/Metrics.h"

#include <cstdio>

namespace collector {
namespace {

std::string Seconds(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.9g", seconds);
  return text;
}

void Head(std::string& out, const std::string& name, const char* type, const char* help) {
  out += "# HELP " + name + " " + help + "\n# TYPE " + name + " " + type + "\n";
}

void Single(std::string& out, const std::string& name, const char* type, const char* help, int64_t value) {
  Head(out, name, type, help);
  out += name + " " + std::to_string(value) + "\n";
}

void Labelled(std::string& out, const std::string& name, const char* help, const char* label,
              const std::map<std::string, uint64_t>& counts) {
  Head(out, name, "counter", help);
  for (const auto& [key, count] : counts) {
    out += name + "{" + label + "=\"" + LabelValue(key) + "\"} " + std::to_string(count) + "\n";
  }
}

}  // namespace

std::string LabelValue(std::string_view text) {
  std::string out;
  for (const char c : text) {
    if (c == '\\' || c == '"') out += '\\';
    if (c == '\n') {
      out += "\\n";
    } else {
      out += c;
    }
  }
  return out;
}

void Histogram::Observe(int64_t ms) {
  size_t bucket = 0;
  while (bucket < kBounds.size() && static_cast<double>(ms) > kBounds[bucket] * 1000) ++bucket;
  if (bucket < kBounds.size()) ++buckets_[bucket];
  ++count_;
  sumMs_ += ms;
}

std::string Histogram::Lines(const std::string& name) const {
  // Read once, so that the buckets, the count and the sum agree with each
  // other even while requests are counted meanwhile: +Inf is the count.
  std::string out;
  uint64_t cumulative = 0;
  for (size_t i = 0; i < kBounds.size(); ++i) {
    cumulative += buckets_[i];
    out += name + "_bucket{le=\"" + Seconds(kBounds[i]) + "\"} " + std::to_string(cumulative) + "\n";
  }
  const uint64_t count = std::max<uint64_t>(count_, cumulative);
  out += name + "_bucket{le=\"+Inf\"} " + std::to_string(count) + "\n";
  out += name + "_sum " + Seconds(static_cast<double>(sumMs_) / 1000) + "\n";
  return out + name + "_count " + std::to_string(count) + "\n";
}

void Metrics::Count(std::map<std::string, uint64_t>& counts, const std::string& key) {
  const std::lock_guard<std::mutex> lock(mutex_);
  ++counts[key];
}

void Metrics::Request(const std::string& route, std::string_view method, int code, int64_t ms) {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    ++requests_[{route, std::string(method), code}];
  }
  durations_.Observe(ms);
}

void Metrics::Refusal(const std::string& cause) { Count(refusals_, cause); }

std::string Metrics::Text(int64_t receivingBytes) const {
  std::string out;
  const std::lock_guard<std::mutex> lock(mutex_);
  Head(out, "dromika_http_requests_total", "counter",
       "Requests by route, method and status (0: the connection ended before an answer).");
  for (const auto& [key, count] : requests_) {
    const auto& [route, method, code] = key;
    out += "dromika_http_requests_total{route=\"" + LabelValue(route) + "\",method=\"" + LabelValue(method) +
           "\",code=\"" + std::to_string(code) + "\"} " + std::to_string(count) + "\n";
  }
  Head(out, "dromika_http_request_duration_seconds", "histogram", "From a request's headers to its answer.");
  out += durations_.Lines("dromika_http_request_duration_seconds");
  Labelled(out, "dromika_refusals_total", "Requests refused or cut, by reason.", "reason", refusals_);
  Labelled(out, "dromika_documents_stored_total", "Documents newly stored, by kind.", "kind", stored_);
  Single(out, "dromika_documents_duplicate_total", "counter", "Uploads of bytes already stored.",
         static_cast<int64_t>(duplicates_));
  Single(out, "dromika_documents_unparsed_total", "counter", "Documents stored unparsed (not well-formed).",
         static_cast<int64_t>(unparsed_));
  Single(out, "dromika_received_bytes_total", "counter", "Bytes of request bodies received.",
         static_cast<int64_t>(receivedBytes_));
  Single(out, "dromika_receiving_bytes", "gauge", "Memory held by the documents being received.", receivingBytes);
  Single(out, "dromika_store_errors_total", "counter", "Store operations that failed.",
         static_cast<int64_t>(storeErrors_));
  Head(out, "dromika_store_commit_seconds", "histogram", "Storing one document, from its bytes to its commit.");
  out += commits_.Lines("dromika_store_commit_seconds");
  Labelled(out, "dromika_sign_ins_total", "Sign-ins at /login by result.", "result", signIns_);
  Single(out, "dromika_sign_outs_total", "counter", "Sessions ended with the sign-out button.",
         static_cast<int64_t>(signOuts_));
  Single(out, "dromika_connections", "gauge", "Connections held open.", connections_);
  return out;
}

Metrics& TheMetrics() {
  static Metrics metrics;
  return metrics;
}

}  // namespace collector
