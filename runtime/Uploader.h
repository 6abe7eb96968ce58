// The web-service uploader: posts the analytics document to the address in
// the environment variable DROMIKA_UPLOAD_URL, or else to the one this build
// was configured with (the CMake cache variable of the same name).
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/Status.h"

namespace ws::analytics::impl {

// Posts `document` as gzip-compressed UTF-8 XML (Content-Type
// application/xml; charset=utf-8, Content-Encoding gzip) over HTTP or HTTPS,
// with "Authorization: Bearer" and the text of DROMIKA_UPLOAD_TOKEN when that
// is set. Proxies: the system's settings on Windows, http_proxy, https_proxy
// and no_proxy elsewhere. Ok for a 2xx reply whose headers arrived whole;
// otherwise an error status naming the cause: no address configured, an
// address or token that cannot be used, a connection that failed or broke
// off, a time-out, or the reply's code. No status ever holds the token.
//
// Documents that could not be delivered for a reason that may pass (no
// reply, 408, 429, 5xx) wait in the spool (UploadSpoolFolder) and are sent
// before the new one, oldest first; each leaves the spool once answered 2xx
// or refused for good (another 4xx but 401 and 403). A 401, 403 or any other
// answer concerns the sender, not the document: nothing new is kept and the
// kept ones wait for a later upload. While the server cannot be reached the
// new document is kept too, and the failure's text says so (or why it could
// not be kept, or that the oldest were dropped to make room).
// Every exchange shares the connect and total time-outs, so Track never
// waits much longer than the two together. Prints nothing.
qtl::status Track(const std::wstring& document);
// Track for a document that is UTF-8 already, without a copy of it.
qtl::status Track(std::string_view utf8Document);

// An upload gives up after this long without a connection, and this long in all.
constexpr uint32_t kUploadConnectMs = 10000;
constexpr uint32_t kUploadTotalMs = 60000;

// For tests only: replaces the build's address (an empty text restores it)
// and the time-outs in milliseconds (0 restores the default).
void SetUploadAddressForTesting(const std::wstring& address);
void SetUploadTimeoutsForTesting(uint32_t connectMs, uint32_t totalMs);
// For tests only: the spool folder instead of the user's (empty restores it).
void SetUploadSpoolForTesting(const std::wstring& folder);

// Where undelivered documents are kept (runtime/UploadSpool.h).
std::wstring UploadSpoolFolder();

// The parts of an upload address. Exposed for the host halves and tests.
struct UploadAddress {
  bool secure = false;   // https
  std::wstring host;     // without brackets for IPv6
  uint16_t port = 0;
  std::wstring path;     // starts with "/"; includes any query
};

// Splits "http[s]://host[:port][/path]" (scheme case-insensitive). False for
// any other form (user info, a fragment, a bad port, other schemes).
bool ParseUploadAddress(const std::wstring& text, UploadAddress& out);

// What one HTTP exchange gave: a transport failure, or the reply's code.
struct HttpOutcome {
  std::wstring failure;  // why no reply arrived; empty when one did
  long code = 0;
};

struct HttpRequest {
  std::wstring url;
  UploadAddress address;
  std::vector<std::string> headers;  // "Name: value", printable ASCII
  std::string body;                  // sent as it is
  uint32_t connectMs = 0;
  uint32_t totalMs = 0;              // the whole exchange
};

// The host half (Uploader_curl.cpp, Uploader_winhttp.cpp): one POST with the
// request's headers, body and time-outs. A reply whose headers break off is
// a failure.
HttpOutcome PostXml(const HttpRequest& request);

// The host half: the environment variable `name`, empty when it is unset.
std::wstring UploadSetting(const wchar_t* name);

}  // namespace ws::analytics::impl
