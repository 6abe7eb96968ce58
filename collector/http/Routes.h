// Every address the collector answers, in one table: which method, which
// handler, and which scope a caller needs. Uploads (POST /v1/documents) are
// streamed by the HTTP front itself; everything else is routed here.
#pragma once
#include <cstdint>
#include <string_view>

#include "collector/base/Response.h"
#include "collector/http/Access.h"
#include "collector/http/Tokens.h"
#include "collector/store/Store.h"

namespace collector {

constexpr std::string_view kUploadPath = "/v1/documents";
// The counters in the Prometheus text format; open to anyone when the
// collector listens on loopback, otherwise for the read scope.
constexpr std::string_view kMetricsPath = "/metrics";

// What a handler is given: `rest` is the part of the path a route's pattern
// leaves open (an id, an event or machine name), already decoded.
struct Request {
  Store& store;
  Access& access;
  std::string_view path;
  std::string_view rest;
  const QueryArgs& args;
  int64_t nowMs = 0;
  int64_t receivingBytes = 0;  // held by the documents being received
  Caller caller;               // who asks; every scope when no tokens are required
  std::string_view form;       // a POST's body
  std::string sender;          // the client's address
  std::string_view cookie;     // the Cookie header
  std::string_view sessionId;  // set when the caller was let in by a session cookie
};

struct Route {
  std::string_view method;  // GET answers HEAD too
  std::string_view prefix;
  std::string_view suffix;  // after the open part; empty for none
  bool open;                // the path has an open part between prefix and suffix
  unsigned scope;           // what the caller needs; 0 for anyone
  Response (*handler)(const Request&);
};

// The route for `method` and `path`. A GET of a path that no route matches
// is given a route that needs the read scope and answers 404, so strangers
// learn nothing of which paths exist. Null otherwise when none matches.
const Route* FindRoute(std::string_view method, std::string_view path);
// Whether any method is routed at `path`.
bool Routed(std::string_view path);

// The answer of `route` to `request`; a page answered to a session carries
// its sign-out form.
Response Answer(const Route& route, const Request& request);

}  // namespace collector
