// Who may do what: bearer tokens for programs, and for people a session
// begun by signing in with a read token from a browser. Sessions are kept
// in the store, so that every collector in front of one store knows them.
#pragma once
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "collector/base/Response.h"
#include "collector/http/Tokens.h"
#include "collector/store/Store.h"

namespace collector {

struct Route;

// A session ends after this long without a request.
constexpr int64_t kSessionIdleMs = 12 * 3600 * 1000;
// Failed sign-ins one client address may make within a minute.
constexpr int kSignInFailures = 10;

// Failed sign-ins per client address within the last minute. Safe from any thread.
class FailureLimit {
 public:
  bool Blocked(const std::string& address, int64_t nowMs);
  void Fail(const std::string& address, int64_t nowMs);

 private:
  void Forget(std::deque<int64_t>& failures, int64_t nowMs) const;
  std::mutex mutex_;
  std::unordered_map<std::string, std::deque<int64_t>> failures_;
};

// What a request's headers say about who sends it.
struct Admission {
  std::optional<Response> refusal;  // the answer, when the headers decide it
  Caller caller;
  std::string sessionId;  // a session cookie still to be looked up in the store
};

class Access {
 public:
  // `tokens` must outlive it; `https`: the cookie is then marked Secure and
  // named with the __Host- prefix; `openMetrics`: /metrics needs no token.
  Access(const Tokens& tokens, bool https, bool openMetrics = false);

  // Judged at the headers, without the store. `target` is where a page
  // request would go back to after signing in.
  Admission Admit(const Route& route, std::string_view authorization, std::string_view cookie,
                  std::string_view target) const;
  // Looks up `admission.sessionId`: fills its caller, or returns the refusal.
  std::optional<Response> Resume(Store& store, const Route& route, std::string_view target, int64_t nowMs,
                                 Admission& admission) const;

  // GET /login, POST /login and POST /logout. `form` is the request's
  // application/x-www-form-urlencoded body.
  Response SignInPage(const QueryArgs& args) const;
  Response SignIn(Store& store, std::string_view form, const std::string& sender, int64_t nowMs);
  Response SignOut(Store& store, std::string_view form, std::string_view cookie) const;

  // The value a session's forms carry to show they were made by one of its
  // pages; another site cannot know it.
  static std::string FormKey(std::string_view sessionId);
  // A page with a sign-out form for the session `sessionId`.
  static void AddSignOut(std::string& html, std::string_view sessionId);
  std::string CookieName() const;
  // The session id in a Cookie header; empty when there is none.
  std::string SessionIn(std::string_view cookieHeader) const;

 private:
  std::string Cookie(std::string_view value, bool ending) const;

  const Tokens& tokens_;
  const bool https_;
  const bool openMetrics_;
  FailureLimit failures_;
};

// A page is everything but the JSON API and the static files.
bool IsPage(std::string_view path);
// The fields of an application/x-www-form-urlencoded body.
QueryArgs ReadForm(std::string_view form);
// The path and query of a request, as a page would be asked for again.
std::string Target(std::string_view path, const QueryArgs& args);

}  // namespace collector
