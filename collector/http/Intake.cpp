#include "collector/http/Intake.h"

#include "collector/base/Clock.h"
#include "collector/base/Status.h"
#include "collector/base/Text.h"
#include "collector/base/WholeNumber.h"
#include "collector/document/Ingest.h"
#include "collector/http/Api.h"
#include "collector/http/Metrics.h"

namespace collector {
namespace {

// Bytes read and dropped after a refusal before the connection is cut.
constexpr size_t kMaxDiscard = 16 * 1024 * 1024;

Response TooLarge(size_t limit) {
  return ErrorResponse(413, "the body is larger than " + std::to_string(limit) + " bytes");
}

}  // namespace

Response Busy() {
  Response busy = ErrorResponse(503, "too many documents are being received; try again shortly");
  busy.cause = "memory_budget";
  return busy;
}

bool Budget::Hold(const std::string& address, size_t bytes) {
  std::lock_guard<std::mutex> lock(mutex_);
  size_t& mine = byAddress_[address];
  const bool fits = bytes <= total_ - held_ && bytes <= total_ / 4 - std::min(mine, total_ / 4);
  if (fits) {
    held_ += bytes;
    mine += bytes;
  }
  if (mine == 0) byAddress_.erase(address);
  return fits;
}

void Budget::Release(const std::string& address, size_t bytes) {
  if (bytes == 0) return;
  std::lock_guard<std::mutex> lock(mutex_);
  held_ -= bytes;
  if ((byAddress_[address] -= bytes) == 0) byAddress_.erase(address);
}

size_t Budget::Held() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return held_;
}

std::optional<Response> Upload::Admit(const UploadHeaders& headers, const Tokens& tokens) {
  if (tokens.Required()) {
    const auto caller = tokens.FromHeader(headers.authorization);
    if (!caller) return ErrorResponse(401, "a valid bearer token is required");
    callerName_ = caller->name;
    if (!(caller->scopes & kIngest)) return ErrorResponse(403, "this token may not store documents");
  }
  if (!IsXmlContentType(headers.contentType)) {
    return ErrorResponse(415, "documents are sent as application/xml, not " + std::string(headers.contentType));
  }
  const std::string encoding = AsciiLower(headers.contentEncoding);
  if (encoding == "gzip" || encoding == "x-gzip") {
    gzip_ = std::make_unique<GzipDecoder>(maxBody_);
  } else if (!encoding.empty() && encoding != "identity") {
    return ErrorResponse(415, "unsupported content encoding: " + encoding);
  }
  // The server has checked the header's form; a number past int64 is simply too large.
  const auto number = ParseWholeNumber(headers.contentLength);
  declared_ = headers.contentLength.empty() ? 0 : number && *number >= 0 ? static_cast<uint64_t>(*number) : UINT64_MAX;
  if (declared_ > maxBody_) return TooLarge(maxBody_);
  return std::nullopt;
}

bool Upload::Charge(size_t total) {
  if (total <= held_) return true;
  if (!budget_.Hold(sender_, total - held_)) return false;
  held_ = total;
  return true;
}

void Upload::Refuse(Response response) {
  refusal_ = std::move(response);
  std::string().swap(body_);
  budget_.Release(sender_, held_);
  held_ = 0;
}

void Upload::Take(std::string_view piece) {
  wire_ += piece.size();
  if (refusal_) {
    discarded_ += piece.size();
    return;
  }
  if (wire_ > maxBody_) return Refuse(TooLarge(maxBody_));
  if (!gzip_) {
    if (!Charge(body_.size() + piece.size())) return Refuse(Busy());
    // Past half the declared length the rest is reserved in one step: no
    // more than a string's own doubling, and no copy at the end.
    if (declared_ > body_.capacity() && (body_.size() + piece.size()) * 2 >= declared_) body_.reserve(declared_);
    body_.append(piece);
    return;
  }
  const Status s = gzip_->Feed(piece, body_);
  if (s.code() == StatusCode::kTooLarge) {
    return Refuse(ErrorResponse(413, "the document is larger than " + std::to_string(maxBody_) +
                                         " bytes once decompressed"));
  }
  if (!s.ok()) return Refuse(ErrorResponse(400, "the body is not a gzip stream: " + s.message()));
  if (!Charge(body_.size())) Refuse(Busy());
}

bool Upload::DiscardedTooMuch() const { return discarded_ > kMaxDiscard; }

std::optional<Response> Upload::Verdict() const {
  if (refusal_) return refusal_;
  if (gzip_ && !gzip_->Finished()) return ErrorResponse(400, "the gzip stream ends early");
  if (body_.empty()) return ErrorResponse(400, "the body is empty: a document is expected");
  return std::nullopt;
}

Response Upload::Store(collector::Store& store) {
  IngestResult result;
  const int64_t start = MonotonicMs();
  const Status stored = Ingest(store, body_, sender_, result);
  Metrics& metrics = TheMetrics();
  if (stored.ok()) {
    metrics.Commit(MonotonicMs() - start);
    if (!result.put.created) {
      metrics.Duplicate();
    } else if (result.rows.state == ParseState::kUnparsed) {
      metrics.Unparsed();
    } else {
      metrics.Stored(KindName(result.rows.kind));
    }
  }
  return AnswerIngest(stored, result);
}

}  // namespace collector
