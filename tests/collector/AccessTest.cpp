// Who gets in: scopes per route, sessions from a browser, the sign-in
// failure limit, where a sign-in may send the browser, and sign-out's key.
#include <gtest/gtest.h>

#include <fstream>

#include "collector/document/Digest.h"
#include "collector/http/Access.h"
#include "collector/http/Routes.h"
#include "testing/MemoryStore.h"
#include "testing/TempFolder.h"

namespace collector {
namespace {

std::string Header(const Response& r, const std::string& name) {
  for (const auto& [key, value] : r.headers) {
    if (key == name) return value;
  }
  return "";
}

class AccessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto path = (folder_.Root() / "tokens").string();
    std::ofstream(path) << "sender ingest # app\nreader read # alice\nboss read admin # ops\n";
    ASSERT_TRUE(tokens_.Load(path).ok());
  }

  // The status a request gets at its headers; 0 when they let it through.
  int Admitted(const Access& access, const char* method, const char* path, const char* authorization,
               const char* cookie = "") {
    const Route* route = FindRoute(method, path);
    if (!route) {
      ADD_FAILURE() << "no route for " << method << " " << path;
      return -1;
    }
    const Admission a = access.Admit(*route, authorization, cookie, path);
    return a.refusal ? a.refusal->code : 0;
  }

  // A session begun through the form; its id as the cookie carries it.
  std::string SignIn(Access& access, const char* token = "reader") {
    const Response r = access.SignIn(store_, std::string("token=") + token, "10.0.0.1", 1000);
    EXPECT_EQ(r.code, 303) << r.body;
    return access.SessionIn(Header(r, "Set-Cookie"));
  }

  testing::TempFolder folder_;
  Tokens tokens_;
  MemoryStore store_;
};

TEST_F(AccessTest, EachRouteTakesOnlyTheScopeItNeeds) {
  const Access access(tokens_, false);
  struct Case {
    const char *method, *path, *authorization;
    int code;
  };
  const Case cases[] = {
      {"GET", "/v1/documents", "Bearer sender", 403},
      {"GET", "/v1/documents", "Bearer reader", 0},        {"GET", "/v1/documents", "", 401},
      {"GET", "/v1/documents", "Bearer nobody", 401},      {"DELETE", "/v1/machines/pc", "Bearer reader", 403},
      {"DELETE", "/v1/machines/pc", "Bearer boss", 0},     {"DELETE", "/v1/documents/3", "Bearer sender", 403},
      {"GET", "/machines", "", 303},                       {"GET", "/machines", "Bearer sender", 403},
      {"GET", "/v1/health", "", 0},                        {"GET", "/login", "", 0},
      {"GET", "/no/such/page", "Bearer sender", 403},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Admitted(access, c.method, c.path, c.authorization), c.code) << c.method << " " << c.path << " "
                                                                          << c.authorization;
  }
  // A cookie never stands in for a token where data changes.
  EXPECT_EQ(Admitted(access, "DELETE", "/v1/machines/pc", "", "dromika_session=abc"), 401);
  // Without tokens (loopback) everyone may do everything.
  const Tokens none;
  EXPECT_EQ(Admitted(Access(none, false), "DELETE", "/v1/machines/pc", ""), 0);
}

TEST_F(AccessTest, ASignInKeepsOnlyADigestAndTheCookieStaysOutOfScripts) {
  Access plain(tokens_, false), secure(tokens_, true);
  const Response r = secure.SignIn(store_, "token=reader&next=%2Fevents%2Fa%3Fdays%3D7", "10.0.0.1", 1000);
  ASSERT_EQ(r.code, 303);
  EXPECT_EQ(Header(r, "Location"), "/events/a?days=7");
  const std::string cookie = Header(r, "Set-Cookie");
  EXPECT_EQ(cookie.rfind("__Host-dromika_session=", 0), 0u) << cookie;
  for (const char* attribute : {"; Path=/", "; HttpOnly", "; SameSite=Strict", "; Secure"}) {
    EXPECT_NE(cookie.find(attribute), std::string::npos) << attribute;
  }
  const std::string id = secure.SessionIn(cookie);
  EXPECT_EQ(id.size(), 64u);  // 256 bits in hex
  ASSERT_EQ(store_.sessions.size(), 1u);
  EXPECT_EQ(store_.sessions.begin()->first, Hex(Sha256(id)));
  EXPECT_EQ(store_.sessions.begin()->second.name, "alice");
  EXPECT_EQ(plain.SignIn(store_, "token=sender", "10.0.0.1", 1000).code, 401);  // ingest only: no session
  EXPECT_EQ(Header(plain.SignIn(store_, "token=reader", "10.0.0.1", 1000), "Set-Cookie").find("Secure"),
            std::string::npos);
}

TEST_F(AccessTest, ASignInSendsTheBrowserOnlyToAPathOfThisSite) {
  Access access(tokens_, false);
  const std::pair<const char*, const char*> cases[] = {
      {"%2Fmachines%3Fq%3Dpc", "/machines?q=pc"}, {"%2F%2Fevil.example", "/"},     {"%2F%5Cevil.example", "/"},
      {"https%3A%2F%2Fevil.example", "/"},        {"%2Fa%0D%0ASet-Cookie%3Ax", "/"}, {"", "/"},
  };
  for (const auto& [next, location] : cases) {
    const Response r = access.SignIn(store_, std::string("token=reader&next=") + next, "10.0.0.2", 1000);
    EXPECT_EQ(Header(r, "Location"), location) << next;
  }
  const Response form = access.SignInPage({{"next", "\"><script>"}});
  EXPECT_EQ(form.body.find("<script>"), std::string::npos);
}

TEST_F(AccessTest, TenFailuresAMinuteShutOneAddressOutForTheRestOfIt) {
  Access access(tokens_, false);
  for (int i = 0; i < kSignInFailures; ++i) EXPECT_EQ(access.SignIn(store_, "token=guess", "10.0.0.3", 1000 + i).code, 401);
  EXPECT_EQ(access.SignIn(store_, "token=reader", "10.0.0.3", 2000).code, 429);
  EXPECT_EQ(access.SignIn(store_, "token=reader", "10.0.0.4", 2000).code, 303);  // another address
  EXPECT_EQ(access.SignIn(store_, "token=reader", "10.0.0.3", 1000 + 60 * 1000).code, 303);
}

TEST_F(AccessTest, SessionsReadUntilTheyEndAndSignOutNeedsThePageKey) {
  Access access(tokens_, false);
  const std::string id = SignIn(access);
  const std::string cookie = "other=1; dromika_session=" + id;
  const Route& page = *FindRoute("GET", "/machines");
  Admission a = access.Admit(page, "", cookie, "/machines");
  ASSERT_FALSE(a.refusal);
  EXPECT_EQ(a.sessionId, id);
  EXPECT_FALSE(access.Resume(store_, page, "/machines", 2000, a));
  EXPECT_EQ(a.caller.name, "alice");
  // Past its idle time the page goes to sign-in and the API answers 401.
  Admission late = access.Admit(page, "", cookie, "/machines");
  const auto expired = access.Resume(store_, page, "/machines", 1000 + kSessionIdleMs, late);
  ASSERT_TRUE(expired);
  EXPECT_EQ(expired->code, 303);
  EXPECT_EQ(Header(*expired, "Location"), "/login?next=%2Fmachines");
  const Route& api = *FindRoute("GET", "/v1/documents");
  // A session carries its token's scopes, no more.
  Route admin = api;
  admin.scope = kRead | kAdmin;
  Admission reader = access.Admit(admin, "", cookie, "/v1/documents");
  ASSERT_FALSE(reader.refusal);
  EXPECT_EQ(access.Resume(store_, admin, "/v1/documents", 2000, reader)->code, 403);
  Admission forged = access.Admit(api, "", "dromika_session=" + std::string(64, 'a'), "/v1/documents");
  EXPECT_EQ(access.Resume(store_, api, "/v1/documents", 2000, forged)->code, 401);

  EXPECT_EQ(access.SignOut(store_, "", cookie).code, 403);
  EXPECT_EQ(access.SignOut(store_, "form_key=" + Access::FormKey("another"), cookie).code, 403);
  EXPECT_EQ(store_.sessions.size(), 1u);
  EXPECT_EQ(access.SignOut(store_, "form_key=" + Access::FormKey(id), cookie).code, 303);
  EXPECT_TRUE(store_.sessions.empty());
}

}  // namespace
}  // namespace collector
