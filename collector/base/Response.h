// What a request is answered: the API's JSON and the pages' HTML alike.
#pragma once
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace collector {

struct Response {
  Response() = default;
  Response(int code, std::string contentType, std::string body)
      : code(code), contentType(std::move(contentType)), body(std::move(body)) {}

  int code = 200;
  std::string contentType = "application/json";
  std::string body;
  std::vector<std::pair<std::string, std::string>> headers;  // besides those every answer carries
  // A refusal's kind as the metrics count it ("too_large", "store", ...) and
  // why, as the log shows it; empty for an answer that refuses nothing.
  std::string cause, reason;
};

// A request's query arguments; a repeated name keeps its last value.
using QueryArgs = std::map<std::string, std::string>;

}  // namespace collector
