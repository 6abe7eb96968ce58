#include "runtime/Uploader.h"

#include <algorithm>
#include <mutex>

#include "runtime/Convert.h"
#include "runtime/Gzip.h"
#include "runtime/Str.h"

#ifndef DROMIKA_UPLOAD_URL
#define DROMIKA_UPLOAD_URL ""
#endif

namespace ws::analytics::impl {
namespace {


struct Overrides {
  std::mutex mutex;
  std::wstring address;
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
  const HttpOutcome outcome = PostXml(request);
  if (!outcome.failure.empty()) return Failure(request.url, outcome.failure);
  if (outcome.code < 200 || outcome.code > 299) {
    return Failure(request.url, L"the server answered with HTTP status " + std::to_wstring(outcome.code));
  }
  return qtl::ok_status();
}

}  // namespace ws::analytics::impl
