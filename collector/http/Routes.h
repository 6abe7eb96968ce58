// Every address the collector answers, in one table: which handler, and
// whether a token is needed. Uploads (POST /v1/documents) are streamed by
// the HTTP front itself; everything else is a GET (or HEAD) routed here.
#pragma once
#include <cstdint>
#include <string_view>

#include "collector/base/Response.h"
#include "collector/store/Store.h"

namespace collector {

constexpr std::string_view kUploadPath = "/v1/documents";

// What a handler is given: `rest` is the part of the path a route's pattern
// leaves open (an id, an event or machine name), already decoded.
struct Request {
  Store& store;
  std::string_view path;
  std::string_view rest;
  const QueryArgs& args;
  int64_t nowMs = 0;
  int64_t receivingBytes = 0;  // held by the documents being received
};

struct Route {
  std::string_view prefix;
  std::string_view suffix;  // after the open part; empty for none
  bool open;                // the path has an open part between prefix and suffix
  bool needsToken;
  Response (*handler)(const Request&);
};

// The route `path` matches, or null.
const Route* FindRoute(std::string_view path);

// Whether a GET of `path` needs a token: every path but health and the
// pages' stylesheet and script does, including paths that match no route.
bool NeedsToken(std::string_view path);

// The answer to a GET of `request.path`: its route's, or 404.
Response AnswerGet(const Request& request);

}  // namespace collector
