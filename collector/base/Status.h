// The collector's errors: a UTF-8 message and the kind of failure, which
// decides the answer a request gets. An empty Status is success.
#pragma once
#include <memory>
#include <string>
#include <utility>

namespace collector {

enum class StatusCode {
  kOk,
  kInvalid,      // the request or its input cannot be used
  kNotFound,
  kTooLarge,
  kUnavailable,  // the store failed or is busy; trying again may help
  kInternal,     // stored data is damaged, or a library would not start
};

class [[nodiscard]] Status {
 public:
  Status() = default;
  Status(StatusCode code, std::string message)
      : detail_(std::make_shared<const Detail>(Detail{code, std::move(message)})) {}

  bool ok() const { return detail_ == nullptr; }
  StatusCode code() const { return detail_ ? detail_->code : StatusCode::kOk; }
  // Empty on success.
  const std::string& message() const {
    static const std::string kNone;
    return detail_ ? detail_->message : kNone;
  }

 private:
  struct Detail {
    StatusCode code;
    std::string message;
  };
  std::shared_ptr<const Detail> detail_;  // shared: copies are cheap and never change
};

// A failure whose cause is the collector's own work or its database.
inline Status Failure(std::string message) { return {StatusCode::kUnavailable, std::move(message)}; }
inline Status Invalid(std::string message) { return {StatusCode::kInvalid, std::move(message)}; }

}  // namespace collector
