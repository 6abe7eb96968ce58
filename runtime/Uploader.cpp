#include "runtime/Uploader.h"

#include <algorithm>
#include <chrono>
#include <mutex>

#include "runtime/Convert.h"
#include "runtime/Gzip.h"
#include "runtime/Str.h"
#include "runtime/UploadSpool.h"

#ifndef DROMIKA_UPLOAD_URL
#define DROMIKA_UPLOAD_URL ""
#endif

namespace ws::analytics::impl {
namespace {

struct Overrides {
  std::mutex mutex;
  std::wstring address;
  std::wstring spool;
  uint32_t connectMs = 0;
  uint32_t totalMs = 0;
};

Overrides& TestOverrides() {
  static Overrides overrides;
  return overrides;
}

std::wstring Lower(std::wstring text) {
  for (auto& c : text) {
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
  }
  return text;
}

bool ParsePort(const std::wstring& text, uint16_t& port) {
  unsigned int value = 0;
  if (!math::impl::ConvertInt<unsigned int>::from_string(value, text) || value == 0 || value > 65535) return false;
  port = static_cast<uint16_t>(value);
  return true;
}

// "host", "host:port", "[v6]" or "[v6]:port".
bool ParseAuthority(const std::wstring& authority, UploadAddress& out) {
  std::wstring host = authority, port;
  if (!authority.empty() && authority[0] == L'[') {
    const size_t close = authority.find(L']');
    if (close == std::wstring::npos) return false;
    host = authority.substr(1, close - 1);
    if (close + 1 < authority.size()) {
      if (authority[close + 1] != L':') return false;
      port = authority.substr(close + 2);
      if (!ParsePort(port, out.port)) return false;
    }
  } else if (const size_t colon = authority.rfind(L':'); colon != std::wstring::npos) {
    host = authority.substr(0, colon);
    if (host.find(L':') != std::wstring::npos || !ParsePort(authority.substr(colon + 1), out.port)) return false;
  }
  if (host.empty() || host.find_first_of(L"@ /\\[]") != std::wstring::npos) return false;
  out.host = host;
  return true;
}

std::wstring Configured(uint32_t& connectMs, uint32_t& totalMs) {
  Overrides& overrides = TestOverrides();
  std::lock_guard<std::mutex> lock(overrides.mutex);
  connectMs = overrides.connectMs ? overrides.connectMs : kUploadConnectMs;
  totalMs = overrides.totalMs ? overrides.totalMs : kUploadTotalMs;
  if (!overrides.address.empty()) return overrides.address;
  const std::wstring fromEnvironment = UploadSetting(L"DROMIKA_UPLOAD_URL");
  return fromEnvironment.empty() ? str::as_wstring(DROMIKA_UPLOAD_URL) : fromEnvironment;
}

// Visible ASCII only: anything else could end the header or change its meaning.
bool UsableToken(const std::wstring& token) {
  return std::all_of(token.begin(), token.end(), [](wchar_t c) { return c > L' ' && c < 0x7F; });
}

qtl::status Failure(const std::wstring& url, const std::wstring& why) {
  return qtl::status::error(L"Unable to upload the analytics document to " + url + L": " + why);
}

// What became of one document.
enum class Outcome { kDelivered, kMayPass, kRefused, kSenderRefused };

Outcome Classify(const HttpOutcome& outcome) {
  if (!outcome.failure.empty()) return Outcome::kMayPass;
  if (outcome.code >= 200 && outcome.code <= 299) return Outcome::kDelivered;
  if (outcome.code == 408 || outcome.code == 429 || outcome.code >= 500) return Outcome::kMayPass;
  if (outcome.code >= 400 && outcome.code != 401 && outcome.code != 403) return Outcome::kRefused;
  // The token or the address, not the document: kept documents wait for a
  // sender that is taken (a redirect is never followed).
  return Outcome::kSenderRefused;
}

std::wstring Cause(const HttpOutcome& outcome) {
  if (!outcome.failure.empty()) return outcome.failure;
  return L"the server answered with HTTP status " + std::to_wstring(outcome.code);
}

// All the documents of one upload share its time-outs.
class Budget {
 public:
  explicit Budget(const HttpRequest& request)
      : connectMs_(request.connectMs), totalMs_(request.totalMs), start_(std::chrono::steady_clock::now()) {}

  // Sets the time-outs of the next exchange; false when no time is left.
  bool Apportion(HttpRequest& request) const {
    const auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start_);
    if (spent.count() >= totalMs_) return false;
    request.totalMs = totalMs_ - static_cast<uint32_t>(spent.count());
    request.connectMs = std::min(connectMs_, request.totalMs);
    return true;
  }

 private:
  uint32_t connectMs_;
  uint32_t totalMs_;
  std::chrono::steady_clock::time_point start_;
};

HttpOutcome Post(HttpRequest& request, const Budget& budget) {
  if (budget.Apportion(request)) return PostXml(request);
  HttpOutcome outcome;
  outcome.failure = L"the time for the upload ran out while kept documents were sent";
  return outcome;
}

// The status of an upload that may pass later, and what became of the document.
qtl::status KeepForLater(const UploadSpool& spool, const std::string& body, const std::wstring& url,
                         const std::wstring& cause) {
  const std::wstring failure = L"Unable to upload the analytics document to " + url + L": " + cause + L". ";
  if (spool.Folder().empty()) {
    return qtl::status::error(failure +
                              L"The document could not be kept for a later upload: no folder for it is known.");
  }
  size_t dropped = 0;
  const qtl::status kept = spool.Keep(body, dropped);
  if (!kept.ok()) {
    return qtl::status::error(failure + L"The document could not be kept for a later upload: " + kept.text() + L".");
  }
  std::wstring text = failure + L"The document was kept for a later upload";
  if (dropped == 1) text += L"; the oldest kept document was dropped to make room";
  if (dropped > 1) text += L"; the " + std::to_wstring(dropped) + L" oldest kept documents were dropped to make room";
  return qtl::status::error(text + L".");
}

// Kept documents go first, oldest first, each removed once it is taken or
// refused for good; while the server cannot be reached the new one joins them.
qtl::status Deliver(HttpRequest& request, const UploadSpool& spool) {
  const Budget budget(request);
  HttpRequest kept = request;
  for (const SpoolEntry& entry : spool.List()) {
    if (!spool.Read(entry, kept.body)) continue;
    const HttpOutcome outcome = Post(kept, budget);
    const Outcome result = Classify(outcome);
    if (result == Outcome::kMayPass) return KeepForLater(spool, request.body, request.url, Cause(outcome));
    if (result == Outcome::kSenderRefused) break;
    spool.Remove(entry);
  }
  const HttpOutcome outcome = Post(request, budget);
  switch (Classify(outcome)) {
    case Outcome::kDelivered: return qtl::ok_status();
    case Outcome::kMayPass: return KeepForLater(spool, request.body, request.url, Cause(outcome));
    default: return Failure(request.url, Cause(outcome));
  }
}

}  // namespace

bool ParseUploadAddress(const std::wstring& text, UploadAddress& out) {
  const size_t schemeEnd = text.find(L"://");
  if (schemeEnd == std::wstring::npos) return false;
  const std::wstring scheme = Lower(text.substr(0, schemeEnd));
  if (scheme != L"http" && scheme != L"https") return false;
  UploadAddress address;
  address.secure = scheme == L"https";
  address.port = address.secure ? 443 : 80;
  const size_t authorityStart = schemeEnd + 3;
  const size_t pathStart = text.find_first_of(L"/?#", authorityStart);
  const std::wstring authority = text.substr(authorityStart, pathStart - authorityStart);
  if (!ParseAuthority(authority, address)) return false;
  address.path = pathStart == std::wstring::npos ? L"/" : text.substr(pathStart);
  if (address.path.find(L'#') != std::wstring::npos) return false;
  if (address.path[0] == L'?') address.path.insert(0, L"/");
  out = address;
  return true;
}

void SetUploadAddressForTesting(const std::wstring& address) {
  Overrides& overrides = TestOverrides();
  std::lock_guard<std::mutex> lock(overrides.mutex);
  overrides.address = address;
}

void SetUploadTimeoutsForTesting(uint32_t connectMs, uint32_t totalMs) {
  Overrides& overrides = TestOverrides();
  std::lock_guard<std::mutex> lock(overrides.mutex);
  overrides.connectMs = connectMs;
  overrides.totalMs = totalMs;
}

void SetUploadSpoolForTesting(const std::wstring& folder) {
  Overrides& overrides = TestOverrides();
  std::lock_guard<std::mutex> lock(overrides.mutex);
  overrides.spool = folder;
}

std::wstring UploadSpoolFolder() {
  Overrides& overrides = TestOverrides();
  std::lock_guard<std::mutex> lock(overrides.mutex);
  return overrides.spool.empty() ? UserSpoolFolder() : overrides.spool;
}

qtl::status Track(const std::wstring& document) { return Track(std::string_view(str::as_u8string(document))); }

qtl::status Track(std::string_view utf8Document) {
  HttpRequest request;
  request.url = Configured(request.connectMs, request.totalMs);
  if (request.url.empty()) {
    return qtl::status::error(
        L"Unable to upload the analytics document: no upload address is configured (DROMIKA_UPLOAD_URL)");
  }
  if (!ParseUploadAddress(request.url, request.address)) return Failure(request.url, L"not an http or https address");
  const std::wstring token = UploadSetting(L"DROMIKA_UPLOAD_TOKEN");
  if (!UsableToken(token)) return Failure(request.url, L"the upload token holds characters other than visible ASCII");
  request.headers = {"Content-Type: application/xml; charset=utf-8", "Content-Encoding: gzip"};
  if (!token.empty()) request.headers.push_back("Authorization: Bearer " + str::as_u8string(token));
  if (!codec::Gzip(utf8Document, request.body)) {
    return Failure(request.url, L"the document could not be compressed");
  }
  return Deliver(request, UploadSpool(UploadSpoolFolder()));
}

}  // namespace ws::analytics::impl
