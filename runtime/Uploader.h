// The web-service uploader: posts the analytics document to the address
// this build was configured with (the CMake cache variable DROMIKA_UPLOAD_URL).
#pragma once
#include <cstdint>
#include <string>

#include "runtime/Status.h"

namespace ws::analytics::impl {

// Posts `document` as UTF-8 XML (Content-Type application/xml; charset=utf-8)
// over HTTP or HTTPS. Ok for a 2xx reply; otherwise an error status naming
// the cause: no address configured, an address that cannot be used, a
// connection that failed or was refused, a time-out, or the reply's code.
// Never waits longer than the connect and total time-outs.
qtl::status Track(const std::wstring& document);

// For tests only: replaces the build's address (an empty text restores it)
// and the time-outs in milliseconds (0 restores the default).
void SetUploadAddressForTesting(const std::wstring& address);
void SetUploadTimeoutsForTesting(uint32_t connectMs, uint32_t totalMs);

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
  std::string body;
  uint32_t connectMs = 0;
  uint32_t totalMs = 0;
};

// The host half: one POST with the request's body and time-outs
// (Uploader_curl.cpp, Uploader_winhttp.cpp).
HttpOutcome PostXml(const HttpRequest& request);

}  // namespace ws::analytics::impl
