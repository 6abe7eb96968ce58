#include <curl/curl.h>

#include <mutex>

#include "runtime/Str.h"
#include "runtime/Uploader.h"

namespace ws::analytics::impl {
namespace {

size_t DiscardBody(char*, size_t size, size_t count, void*) { return size * count; }

void InitialiseOnce() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct Easy {
  CURL* handle = curl_easy_init();
  curl_slist* headers = nullptr;
  ~Easy() {
    curl_slist_free_all(headers);
    if (handle) curl_easy_cleanup(handle);
  }
};

// No proxy from the environment, no redirects, no protocol but the two we
// name: the upload goes where the build says and nowhere else.
void Configure(Easy& easy, const HttpRequest& request, const std::string& url, char* errors) {
  CURL* h = easy.handle;
  easy.headers = curl_slist_append(easy.headers, "Content-Type: application/xml; charset=utf-8");
  easy.headers = curl_slist_append(easy.headers, "Expect:");
  curl_easy_setopt(h, CURLOPT_URL, url.c_str());
  curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(h, CURLOPT_PROXY, "");
  curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(h, CURLOPT_HTTPHEADER, easy.headers);
  curl_easy_setopt(h, CURLOPT_POST, 1L);
  curl_easy_setopt(h, CURLOPT_POSTFIELDS, request.body.data());
  curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.body.size()));
  curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(request.connectMs));
  curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, static_cast<long>(request.totalMs));
  curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, DiscardBody);
  curl_easy_setopt(h, CURLOPT_ERRORBUFFER, errors);
}

std::wstring Describe(CURLcode code, const char* errors) {
  std::string text = curl_easy_strerror(code);
  if (*errors) text += std::string(" (") + errors + ")";
  return str::as_wstring(text);
}

}  // namespace

HttpOutcome PostXml(const HttpRequest& request) {
  InitialiseOnce();
  Easy easy;
  HttpOutcome outcome;
  if (!easy.handle) {
    outcome.failure = L"the HTTP library could not be started";
    return outcome;
  }
  char errors[CURL_ERROR_SIZE] = {};
  const std::string url = str::as_u8string(request.url);
  Configure(easy, request, url, errors);
  const CURLcode code = curl_easy_perform(easy.handle);
  if (code != CURLE_OK) {
    outcome.failure = Describe(code, errors);
    return outcome;
  }
  curl_easy_getinfo(easy.handle, CURLINFO_RESPONSE_CODE, &outcome.code);
  return outcome;
}

}  // namespace ws::analytics::impl
