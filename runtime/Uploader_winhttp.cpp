#include <windows.h>
#include <winhttp.h>

#include "runtime/Str.h"
#include "runtime/SystemError.h"
#include "runtime/Uploader.h"

namespace ws::analytics::impl {
namespace {

struct Handle {
  HINTERNET value = nullptr;
  ~Handle() {
    if (value) WinHttpCloseHandle(value);
  }
};

// Some WinHTTP versions pass the socket's error through unchanged.
constexpr DWORD kSocketTimedOut = 10060;  // WSAETIMEDOUT
constexpr DWORD kSocketRefused = 10061;   // WSAECONNREFUSED

// WinHTTP's codes have no text in the system's message table.
std::wstring Describe(DWORD error) {
  switch (error) {
    case ERROR_WINHTTP_TIMEOUT:
    case kSocketTimedOut: return L"the operation timed out";
    case ERROR_WINHTTP_CANNOT_CONNECT:
    case kSocketRefused: return L"the connection was refused or could not be made";
    case ERROR_WINHTTP_CONNECTION_ERROR: return L"the connection was reset";
    case ERROR_WINHTTP_NAME_NOT_RESOLVED: return L"the server name could not be resolved";
    case ERROR_WINHTTP_SECURE_FAILURE: return L"the secure connection could not be established";
    case ERROR_WINHTTP_INVALID_SERVER_RESPONSE: return L"the server's reply could not be understood";
    default: break;
  }
  if (error >= WINHTTP_ERROR_BASE && error <= WINHTTP_ERROR_LAST) return L"WinHTTP error " + std::to_wstring(error);
  return str::as_wstring(QRNErrMsg(error));
}

HttpOutcome Failed() {
  HttpOutcome outcome;
  outcome.failure = Describe(GetLastError());
  return outcome;
}

// WinHTTP has no total time-out: each step gets the whole budget, which
// still bounds every wait; the body of the reply is never read.
void SetTimeouts(HINTERNET session, const HttpRequest& request) {
  const int total = static_cast<int>(request.totalMs);
  WinHttpSetTimeouts(session, static_cast<int>(request.connectMs), static_cast<int>(request.connectMs), total, total);
}

}  // namespace

HttpOutcome PostXml(const HttpRequest& request) {
  Handle session{WinHttpOpen(L"DromikaCmd", WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0)};
  if (!session.value) return Failed();
  SetTimeouts(session.value, request);
  const UploadAddress& address = request.address;
  Handle connection{WinHttpConnect(session.value, address.host.c_str(), address.port, 0)};
  if (!connection.value) return Failed();
  Handle call{WinHttpOpenRequest(connection.value, L"POST", address.path.c_str(), nullptr, WINHTTP_NO_REFERER,
                                 WINHTTP_DEFAULT_ACCEPT_TYPES, address.secure ? WINHTTP_FLAG_SECURE : 0)};
  if (!call.value) return Failed();
  DWORD noRedirects = WINHTTP_DISABLE_REDIRECTS;
  WinHttpSetOption(call.value, WINHTTP_OPTION_DISABLE_FEATURE, &noRedirects, sizeof noRedirects);
  // Waiting for the reply's headers has its own time-out, 90 s unless set.
  DWORD headersMs = request.totalMs;
  WinHttpSetOption(call.value, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &headersMs, sizeof headersMs);
  const wchar_t* headers = L"Content-Type: application/xml; charset=utf-8\r\n";
  const DWORD size = static_cast<DWORD>(request.body.size());
  if (!WinHttpSendRequest(call.value, headers, static_cast<DWORD>(-1L), const_cast<char*>(request.body.data()), size, size, 0) ||
      !WinHttpReceiveResponse(call.value, nullptr)) {
    return Failed();
  }
  DWORD code = 0, codeSize = sizeof code;
  if (!WinHttpQueryHeaders(call.value, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER, WINHTTP_HEADER_NAME_BY_INDEX,
                           &code, &codeSize, WINHTTP_NO_HEADER_INDEX)) {
    return Failed();
  }
  // The reply's body is not read: only its code counts, and a body that
  // never ends must not keep us here.
  HttpOutcome outcome;
  outcome.code = static_cast<long>(code);
  return outcome;
}

}  // namespace ws::analytics::impl
