// Where an upload's body is received: the memory the documents in flight
// share, the checks made on an upload's headers, and its bytes as they come.
// Nothing here touches the network, so it can be tested without a socket.
#pragma once
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "collector/base/Response.h"
#include "collector/document/Compression.h"
#include "collector/http/Tokens.h"
#include "collector/store/Store.h"

namespace collector {

// The memory documents being received may hold: all of them together at
// most `total`, the uploads from one client address at most a quarter of
// it, so that one sender cannot turn every other away. Uploads are charged
// for the bytes they have sent, never for a length they declare.
class Budget {
 public:
  explicit Budget(size_t total) : total_(total) {}
  // False, holding nothing more, when `bytes` would exceed either share.
  bool Hold(const std::string& address, size_t bytes);
  void Release(const std::string& address, size_t bytes);
  size_t Held() const;

 private:
  const size_t total_;
  mutable std::mutex mutex_;
  size_t held_ = 0;
  std::unordered_map<std::string, size_t> byAddress_;
};

// The headers an upload is judged by before any of its body is read.
struct UploadHeaders {
  std::string_view authorization, contentType, contentEncoding, contentLength;
};

// One POST being received; what it holds of the budget is released when it
// ends, however it ends.
class Upload {
 public:
  Upload(Budget& budget, std::string sender, size_t maxBody)
      : budget_(budget), sender_(std::move(sender)), maxBody_(maxBody) {}
  ~Upload() { budget_.Release(sender_, held_); }
  Upload(const Upload&) = delete;
  Upload& operator=(const Upload&) = delete;

  // The answer when the headers already refuse the upload.
  std::optional<Response> Admit(const UploadHeaders& headers, const Tokens& tokens);
  // The name of the token Admit let in; empty when none was needed.
  const std::string& CallerName() const { return callerName_; }
  void Take(std::string_view piece);
  // Bytes read and dropped after a refusal; past a bound the connection is cut.
  bool DiscardedTooMuch() const;
  size_t Received() const { return wire_; }
  // The answer when the body cannot be stored; nothing when it may be.
  std::optional<Response> Verdict() const;
  // Reads and stores the document: may take a while.
  Response Store(collector::Store& store);

 private:
  void Refuse(Response response);
  bool Charge(size_t total);

  Budget& budget_;
  const std::string sender_;
  const size_t maxBody_;
  std::optional<Response> refusal_;
  std::string callerName_;
  std::string body_;
  std::unique_ptr<GzipDecoder> gzip_;
  uint64_t declared_ = 0;
  size_t wire_ = 0;
  size_t discarded_ = 0;
  size_t held_ = 0;
};

Response Busy();

}  // namespace collector
