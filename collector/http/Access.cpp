#include "collector/http/Access.h"

#include <openssl/rand.h>

#include <algorithm>
#include <cstdio>

#include "collector/base/Log.h"
#include "collector/base/Text.h"
#include "collector/document/Digest.h"
#include "collector/http/Api.h"
#include "collector/http/Metrics.h"
#include "collector/http/Routes.h"
#include "collector/pages/Html.h"

namespace collector {
namespace {

constexpr int64_t kFailureWindowMs = 60 * 1000;
// Addresses remembered at most; past that the oldest entries make room.
constexpr size_t kMaxAddresses = 100000;
constexpr size_t kSessionIdBytes = 32;  // 256 random bits

Response Redirect(std::string location) {
  Response response{303, "text/html", "<!DOCTYPE html><a href=\"" + pages::Escape(location) + "\">continue</a>\n"};
  response.headers.emplace_back("Location", std::move(location));
  return response;
}

Response ToSignIn(std::string_view target) { return Redirect("/login?next=" + pages::UrlEncode(target)); }

// Where to go after signing in: a path on this site, never another site
// ("//host" or "/\host" would leave it) nor a header's line end.
std::string SafeNext(std::string_view next) {
  const bool local = next.size() >= 1 && next[0] == '/' && (next.size() == 1 || (next[1] != '/' && next[1] != '\\'));
  const bool plain = std::all_of(next.begin(), next.end(), [](char c) { return c > 0x20 && c < 0x7f; });
  return local && plain ? std::string(next) : "/";
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = static_cast<char>(c | 0x20);
  return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

std::string FormDecode(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '+') {
      out += ' ';
    } else if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 && HexValue(text[i + 2]) >= 0) {
      out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::string Digest(std::string_view sessionId) { return Hex(Sha256(sessionId)); }

Response SignInForm(int code, std::string_view next, std::string_view problem) {
  std::string html = pages::PageStart("Sign in", pages::Assets::kLinked) + "<h1>Sign in</h1>\n";
  if (!problem.empty()) html += "<p class=\"error\">" + pages::Escape(problem) + "</p>\n";
  html += "<form class=\"signin\" method=\"post\" action=\"/login\">\n<input type=\"hidden\" name=\"next\" value=\"" +
          pages::Escape(SafeNext(next)) +
          "\">\n<label>Token <input type=\"password\" name=\"token\" autocomplete=\"current-password\" required "
          "autofocus></label>\n<button type=\"submit\">Sign in</button>\n</form>\n" +
          pages::PageEnd();
  return {code, "text/html", std::move(html)};
}

}  // namespace

void FailureLimit::Forget(std::deque<int64_t>& failures, int64_t nowMs) const {
  while (!failures.empty() && nowMs - failures.front() >= kFailureWindowMs) failures.pop_front();
}

bool FailureLimit::Blocked(const std::string& address, int64_t nowMs) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto found = failures_.find(address);
  if (found == failures_.end()) return false;
  Forget(found->second, nowMs);
  return found->second.size() >= static_cast<size_t>(kSignInFailures);
}

void FailureLimit::Fail(const std::string& address, int64_t nowMs) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (failures_.size() >= kMaxAddresses && !failures_.count(address)) {
    for (auto it = failures_.begin(); it != failures_.end();) {
      Forget(it->second, nowMs);
      it = it->second.empty() ? failures_.erase(it) : std::next(it);
    }
    if (failures_.size() >= kMaxAddresses) failures_.erase(failures_.begin());
  }
  auto& failures = failures_[address];
  failures.push_back(nowMs);
  if (failures.size() > static_cast<size_t>(kSignInFailures)) failures.pop_front();
}

bool IsPage(std::string_view path) { return path.rfind("/v1/", 0) != 0 && path.rfind("/static/", 0) != 0; }

QueryArgs ReadForm(std::string_view form) {
  QueryArgs fields;
  while (!form.empty()) {
    const size_t end = std::min(form.find('&'), form.size());
    const std::string_view pair = form.substr(0, end);
    const size_t equals = pair.find('=');
    fields[FormDecode(pair.substr(0, equals))] =
        equals == std::string_view::npos ? "" : FormDecode(pair.substr(equals + 1));
    form.remove_prefix(std::min(end + 1, form.size()));
  }
  return fields;
}

std::string Target(std::string_view path, const QueryArgs& args) {
  std::string target;
  for (size_t start = 0; start < path.size();) {
    const size_t slash = std::min(path.find('/', start), path.size());
    target += pages::UrlEncode(path.substr(start, slash - start));
    if (slash < path.size()) target += '/';
    start = slash + 1;
  }
  char separator = '?';
  for (const auto& [key, value] : args) {
    target += separator + pages::UrlEncode(key) + "=" + pages::UrlEncode(value);
    separator = '&';
  }
  return target;
}

Access::Access(const Tokens& tokens, bool https, bool openMetrics)
    : tokens_(tokens), https_(https), openMetrics_(openMetrics) {}

std::string Access::CookieName() const { return https_ ? "__Host-dromika_session" : "dromika_session"; }

std::string Access::Cookie(std::string_view value, bool ending) const {
  return CookieName() + "=" + std::string(value) + "; Path=/; HttpOnly; SameSite=Strict" + (https_ ? "; Secure" : "") +
         (ending ? "; Max-Age=0" : "");
}

std::string Access::SessionIn(std::string_view header) const {
  const std::string name = CookieName() + "=";
  while (!header.empty()) {
    const size_t end = std::min(header.find(';'), header.size());
    const std::string_view pair = Trim(header.substr(0, end));
    if (pair.substr(0, name.size()) == name) return std::string(pair.substr(name.size()));
    header.remove_prefix(std::min(end + 1, header.size()));
  }
  return {};
}

std::string Access::FormKey(std::string_view sessionId) { return Hex(Sha256("form:" + std::string(sessionId))); }

void Access::AddSignOut(std::string& html, std::string_view sessionId) {
  const size_t nav = html.find("</nav>");
  if (nav == std::string::npos) return;
  html.insert(nav, "<form method=\"post\" action=\"/logout\"><input type=\"hidden\" name=\"form_key\" value=\"" +
                       FormKey(sessionId) + "\"><button type=\"submit\">Sign out</button></form>");
}

Admission Access::Admit(const Route& route, std::string_view authorization, std::string_view cookie,
                        std::string_view target) const {
  Admission admission;
  if (!tokens_.Required()) {
    admission.caller = {"loopback", kEveryScope};
    return admission;
  }
  if (route.scope == 0 || (openMetrics_ && route.prefix == kMetricsPath)) return admission;
  // A session only reads: what changes data takes a token in the header.
  if (authorization.empty() && route.method == "GET") admission.sessionId = SessionIn(cookie);
  if (!admission.sessionId.empty()) return admission;
  if (authorization.empty() && route.method == "GET" && IsPage(route.prefix)) {
    admission.refusal = ToSignIn(target);
    return admission;
  }
  const auto caller = tokens_.FromHeader(authorization);
  if (!caller) {
    admission.refusal = ErrorResponse(401, "a valid bearer token is required");
  } else if ((caller->scopes & route.scope) != route.scope) {
    admission.refusal = ErrorResponse(403, "this token does not allow that");
    admission.caller.name = caller->name;  // for the log
  } else {
    admission.caller = *caller;
  }
  return admission;
}

std::optional<Response> Access::Resume(Store& store, const Route& route, std::string_view target, int64_t nowMs,
                                       Admission& admission) const {
  std::optional<SessionRecord> session;
  if (auto s = store.FindSession(Digest(admission.sessionId), nowMs, kSessionIdleMs, session); !s.ok()) {
    return StoreFailure(s);
  }
  if (!session) {
    Response refusal = IsPage(route.prefix) ? ToSignIn(target) : ErrorResponse(401, "the session has ended");
    refusal.headers.emplace_back("Set-Cookie", Cookie("", true));
    return refusal;
  }
  if ((session->scopes & route.scope) != route.scope) return ErrorResponse(403, "this session does not allow that");
  admission.caller = {session->name, session->scopes};
  return std::nullopt;
}

Response Access::SignInPage(const QueryArgs& args) const {
  const auto next = args.find("next");
  const std::string_view target = next == args.end() ? "/" : std::string_view(next->second);
  if (!tokens_.Required()) return Redirect(SafeNext(target));
  return SignInForm(200, target, "");
}

Response Access::SignIn(Store& store, std::string_view form, const std::string& sender, int64_t nowMs) {
  const QueryArgs fields = ReadForm(form);
  const auto field = [&](const char* name) {
    const auto found = fields.find(name);
    return found == fields.end() ? std::string() : found->second;
  };
  if (!tokens_.Required()) return Redirect(SafeNext(field("next")));
  if (failures_.Blocked(sender, nowMs)) {
    Response refusal = SignInForm(429, field("next"), "Too many failed sign-ins from this address; wait a minute.");
    refusal.headers.emplace_back("Retry-After", "60");
    refusal.cause = "too_many_sign_ins";
    refusal.reason = "10 failed sign-ins from this address within a minute";
    TheMetrics().SignIn("limited");
    return refusal;
  }
  const auto caller = tokens_.Find(Trim(field("token")));
  if (!caller || !(caller->scopes & kRead)) {
    failures_.Fail(sender, nowMs);
    TheMetrics().SignIn("failed");
    Response refusal = SignInForm(401, field("next"), "That is not a token that may read.");
    refusal.cause = "sign_in_failed";
    refusal.reason = "not a token that may read";
    return refusal;
  }
  unsigned char random[kSessionIdBytes];
  if (RAND_bytes(random, sizeof random) != 1) return ErrorResponse(500, "no random bytes for a session");
  const std::string id = Hex(std::string_view(reinterpret_cast<const char*>(random), sizeof random));
  const SessionRecord session{caller->name, caller->scopes, nowMs + kSessionIdleMs};
  if (auto s = store.CreateSession(Digest(id), session, nowMs); !s.ok()) return StoreFailure(s);
  TheMetrics().SignIn("ok");
  LogLine("signed_in").Text("client", sender).Text("token", caller->name).Write();
  Response response = Redirect(SafeNext(field("next")));
  response.headers.emplace_back("Set-Cookie", Cookie(id, false));
  return response;
}

Response Access::SignOut(Store& store, std::string_view form, std::string_view cookie) const {
  const std::string id = SessionIn(cookie);
  if (id.empty()) return Redirect("/login");
  const QueryArgs fields = ReadForm(form);
  const auto key = fields.find("form_key");
  if (key == fields.end() || !SameBytes(key->second, FormKey(id))) {
    return ErrorResponse(403, "the sign-out form did not come from this collector's page");
  }
  if (auto s = store.EndSession(Digest(id)); !s.ok()) return StoreFailure(s);
  TheMetrics().SignOut();
  Response response = Redirect("/login");
  response.headers.emplace_back("Set-Cookie", Cookie("", true));
  return response;
}

}  // namespace collector
