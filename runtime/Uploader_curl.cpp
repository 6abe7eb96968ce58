#include <curl/curl.h>
#include <dlfcn.h>

#include <cstdlib>
#include <string_view>

#include "runtime/Str.h"
#include "runtime/Uploader.h"

namespace ws::analytics::impl {
namespace {

size_t DiscardBody(char*, size_t size, size_t count, void*) { return size * count; }

// libcurl takes a reply that ends inside its headers for a whole one, so the
// blank line that ends them is looked for here. A status line starts a new
// block: a proxy's answer to CONNECT comes before the server's.
size_t WatchHeaders(char* line, size_t size, size_t count, void* complete) {
  const std::string_view text(line, size * count);
  if (text.rfind("HTTP/", 0) == 0) *static_cast<bool*>(complete) = false;
  if (text == "\r\n" || text == "\n") *static_cast<bool*>(complete) = true;
  return size * count;
}

// libcurl is loaded on the first upload, not at start: it brings some thirty
// libraries whose loading doubled the time of a whole report.
struct Curl {
  decltype(&curl_global_init) global_init = nullptr;
  decltype(&curl_easy_init) easy_init = nullptr;
  decltype(&curl_easy_cleanup) easy_cleanup = nullptr;
  decltype(&curl_easy_setopt) easy_setopt = nullptr;
  decltype(&curl_easy_perform) easy_perform = nullptr;
  decltype(&curl_easy_getinfo) easy_getinfo = nullptr;
  decltype(&curl_easy_strerror) easy_strerror = nullptr;
  decltype(&curl_slist_append) slist_append = nullptr;
  decltype(&curl_slist_free_all) slist_free_all = nullptr;
  bool loaded = false;
};

template <class F>
bool Bind(void* library, const char* name, F& function) {
  function = reinterpret_cast<F>(dlsym(library, name));
  return function != nullptr;
}

const Curl& LoadCurl() {
  static const Curl curl = [] {
    Curl c;
    void* library = dlopen("libcurl.so.4", RTLD_NOW | RTLD_LOCAL);
    c.loaded = library && Bind(library, "curl_global_init", c.global_init) &&
               Bind(library, "curl_easy_init", c.easy_init) && Bind(library, "curl_easy_cleanup", c.easy_cleanup) &&
               Bind(library, "curl_easy_setopt", c.easy_setopt) &&
               Bind(library, "curl_easy_perform", c.easy_perform) &&
               Bind(library, "curl_easy_getinfo", c.easy_getinfo) &&
               Bind(library, "curl_easy_strerror", c.easy_strerror) &&
               Bind(library, "curl_slist_append", c.slist_append) &&
               Bind(library, "curl_slist_free_all", c.slist_free_all);
    if (c.loaded) c.global_init(CURL_GLOBAL_DEFAULT);
    return c;
  }();
  return curl;
}

struct Easy {
  explicit Easy(const Curl& library) : curl(library), handle(library.easy_init()) {}
  ~Easy() {
    curl.slist_free_all(headers);
    if (handle) curl.easy_cleanup(handle);
  }
  Easy(const Easy&) = delete;
  Easy& operator=(const Easy&) = delete;

  const Curl& curl;
  CURL* handle;
  curl_slist* headers = nullptr;
};

// No redirects and no protocol but the two we name: the upload goes where it
// was told and nowhere else. libcurl itself follows http_proxy, https_proxy,
// all_proxy and no_proxy.
void Configure(Easy& easy, const HttpRequest& request, const std::string& url, char* errors, bool* headersComplete) {
  CURL* h = easy.handle;
  const auto setopt = easy.curl.easy_setopt;
  for (const std::string& header : request.headers) easy.headers = easy.curl.slist_append(easy.headers, header.c_str());
  easy.headers = easy.curl.slist_append(easy.headers, "Expect:");
  setopt(h, CURLOPT_URL, url.c_str());
  setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
  setopt(h, CURLOPT_NOSIGNAL, 1L);
  setopt(h, CURLOPT_HTTPHEADER, easy.headers);
  setopt(h, CURLOPT_POST, 1L);
  setopt(h, CURLOPT_POSTFIELDS, request.body.data());
  setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.body.size()));
  setopt(h, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(request.connectMs));
  setopt(h, CURLOPT_TIMEOUT_MS, static_cast<long>(request.totalMs));
  setopt(h, CURLOPT_WRITEFUNCTION, DiscardBody);
  setopt(h, CURLOPT_HEADERFUNCTION, WatchHeaders);
  setopt(h, CURLOPT_HEADERDATA, headersComplete);
  setopt(h, CURLOPT_ERRORBUFFER, errors);
}

std::wstring Describe(const Curl& curl, CURLcode code, const char* errors) {
  std::string text = curl.easy_strerror(code);
  if (*errors) text += std::string(" (") + errors + ")";
  return str::as_wstring(text);
}

}  // namespace

HttpOutcome PostXml(const HttpRequest& request) {
  HttpOutcome outcome;
  const Curl& curl = LoadCurl();
  if (!curl.loaded) {
    outcome.failure = L"the HTTP library libcurl.so.4 could not be loaded";
    return outcome;
  }
  Easy easy(curl);
  if (!easy.handle) {
    outcome.failure = L"the HTTP library could not be started";
    return outcome;
  }
  char errors[CURL_ERROR_SIZE] = {};
  const std::string url = str::as_u8string(request.url);
  bool headersComplete = false;
  Configure(easy, request, url, errors, &headersComplete);
  const CURLcode code = curl.easy_perform(easy.handle);
  if (code != CURLE_OK) {
    outcome.failure = Describe(curl, code, errors);
    return outcome;
  }
  if (!headersComplete) {
    outcome.failure = L"the connection closed before the reply's headers ended";
    return outcome;
  }
  curl.easy_getinfo(easy.handle, CURLINFO_RESPONSE_CODE, &outcome.code);
  return outcome;
}

std::wstring UploadSetting(const wchar_t* name) {
  const char* value = std::getenv(str::as_u8string(name).c_str());
  return value ? str::as_wstring(value) : std::wstring();
}

}  // namespace ws::analytics::impl
