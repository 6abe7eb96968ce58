// What a request is answered: the API's JSON and the pages' HTML alike.
#pragma once
#include <map>
#include <string>

namespace collector {

struct Response {
  int code = 200;
  std::string contentType = "application/json";
  std::string body;
};

// A request's query arguments; a repeated name keeps its last value.
using QueryArgs = std::map<std::string, std::string>;

}  // namespace collector
