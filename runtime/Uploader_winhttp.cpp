#include <windows.h>
#include <winhttp.h>

#include <atomic>

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

HttpOutcome Failed(DWORD error = GetLastError()) {
  HttpOutcome outcome;
  outcome.failure = Describe(error);
  return outcome;
}

// WinHTTP's time-outs apply to each send and receive, so a peer that trickles
// bytes could hold the upload far past its total time. Closing the request
// handle from a timer cancels whichever call is blocked on it.
class Deadline {
 public:
  Deadline(HINTERNET request, DWORD ms) : request_(request) {
    timer_ = CreateThreadpoolTimer(Expire, this, nullptr);
    if (!timer_) return;  // the per-step time-outs still bound every wait
    ULARGE_INTEGER due;
    due.QuadPart = static_cast<ULONGLONG>(-static_cast<LONGLONG>(ms) * 10000);  // relative, 100 ns units
    FILETIME start{due.LowPart, due.HighPart};
    SetThreadpoolTimer(timer_, &start, 0, 0);
  }
  ~Deadline() {
    if (timer_) {
      SetThreadpoolTimer(timer_, nullptr, 0, 0);
      WaitForThreadpoolTimerCallbacks(timer_, TRUE);
      CloseThreadpoolTimer(timer_);
    }
    if (!expired_) WinHttpCloseHandle(request_);
  }
  Deadline(const Deadline&) = delete;
  Deadline& operator=(const Deadline&) = delete;

  HINTERNET request() const { return request_; }
  bool Expired() const { return expired_; }

 private:
  static VOID CALLBACK Expire(PTP_CALLBACK_INSTANCE, PVOID self, PTP_TIMER) {
    auto* deadline = static_cast<Deadline*>(self);
    deadline->expired_ = true;
    WinHttpCloseHandle(deadline->request_);
  }

  HINTERNET request_;
  PTP_TIMER timer_ = nullptr;
  std::atomic<bool> expired_{false};
};

// The system's proxy settings: the automatic kind (Windows 8.1 and later)
// finds them as the browser does; older systems refuse it and give the one
// configured for WinHTTP.
HINTERNET OpenSession() {
  if (HINTERNET session = WinHttpOpen(L"DromikaCmd", WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY, WINHTTP_NO_PROXY_NAME,
                                      WINHTTP_NO_PROXY_BYPASS, 0)) {
    return session;
  }
  return WinHttpOpen(L"DromikaCmd", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
}

// Each step also gets the whole budget, so no single wait outlives it.
void SetTimeouts(HINTERNET session, const HttpRequest& request) {
  const int total = static_cast<int>(request.totalMs);
  WinHttpSetTimeouts(session, static_cast<int>(request.connectMs), static_cast<int>(request.connectMs), total, total);
}

std::wstring HeaderLines(const HttpRequest& request) {
  std::wstring lines;
  for (const std::string& header : request.headers) lines += str::as_wstring(header) + L"\r\n";
  return lines;
}

// Some WinHTTP versions take a reply that ends inside its headers for a
// whole one; the blank line that ends a whole block is kept in the raw text.
bool HeadersComplete(HINTERNET call) {
  DWORD size = 0;
  WinHttpQueryHeaders(call, WINHTTP_QUERY_RAW_HEADERS_CRLF, WINHTTP_HEADER_NAME_BY_INDEX, WINHTTP_NO_OUTPUT_BUFFER, &size,
                      WINHTTP_NO_HEADER_INDEX);
  std::wstring raw(size / sizeof(wchar_t) + 1, L'\0');
  size = static_cast<DWORD>(raw.size() * sizeof(wchar_t));
  if (!WinHttpQueryHeaders(call, WINHTTP_QUERY_RAW_HEADERS_CRLF, WINHTTP_HEADER_NAME_BY_INDEX, raw.data(), &size,
                           WINHTTP_NO_HEADER_INDEX)) {
    return false;
  }
  raw.resize(size / sizeof(wchar_t));
  return raw.size() >= 4 && raw.compare(raw.size() - 4, 4, L"\r\n\r\n") == 0;
}

bool Exchange(HINTERNET call, const HttpRequest& request, DWORD& code) {
  DWORD noRedirects = WINHTTP_DISABLE_REDIRECTS;
  WinHttpSetOption(call, WINHTTP_OPTION_DISABLE_FEATURE, &noRedirects, sizeof noRedirects);
  // Waiting for the reply's headers has its own time-out, 90 s unless set.
  DWORD headersMs = request.totalMs;
  WinHttpSetOption(call, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &headersMs, sizeof headersMs);
  const std::wstring headers = HeaderLines(request);
  const DWORD size = static_cast<DWORD>(request.body.size());
  DWORD codeSize = sizeof code;
  return WinHttpSendRequest(call, headers.c_str(), static_cast<DWORD>(-1L), const_cast<char*>(request.body.data()),
                            size, size, 0) &&
         WinHttpReceiveResponse(call, nullptr) &&
         WinHttpQueryHeaders(call, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER, WINHTTP_HEADER_NAME_BY_INDEX,
                             &code, &codeSize, WINHTTP_NO_HEADER_INDEX);
}

}  // namespace

HttpOutcome PostXml(const HttpRequest& request) {
  Handle session{OpenSession()};
  if (!session.value) return Failed();
  SetTimeouts(session.value, request);
  const UploadAddress& address = request.address;
  Handle connection{WinHttpConnect(session.value, address.host.c_str(), address.port, 0)};
  if (!connection.value) return Failed();
  HINTERNET call = WinHttpOpenRequest(connection.value, L"POST", address.path.c_str(), nullptr, WINHTTP_NO_REFERER,
                                      WINHTTP_DEFAULT_ACCEPT_TYPES, address.secure ? WINHTTP_FLAG_SECURE : 0);
  if (!call) return Failed();
  Deadline deadline(call, request.totalMs);
  DWORD code = 0;
  const bool answered = Exchange(call, request, code);
  // A call cut short by the deadline fails with whatever the closed handle gave.
  if (deadline.Expired()) return Failed(ERROR_WINHTTP_TIMEOUT);
  if (!answered) return Failed();
  if (!HeadersComplete(call)) {
    HttpOutcome outcome;
    outcome.failure = L"the connection closed before the reply's headers ended";
    return outcome;
  }
  // The reply's body is not read: only its code counts, and a body that
  // never ends must not keep us here.
  HttpOutcome outcome;
  outcome.code = static_cast<long>(code);
  return outcome;
}

std::wstring UploadSetting(const wchar_t* name) {
  std::wstring value(64, L'\0');
  for (int attempt = 0; attempt < 4; ++attempt) {
    const DWORD length = GetEnvironmentVariableW(name, value.data(), static_cast<DWORD>(value.size()));
    if (length < value.size()) {
      value.resize(length);  // 0 also when unset
      return value;
    }
    value.resize(length);  // the size needed, with its terminator
  }
  return std::wstring();
}

}  // namespace ws::analytics::impl
