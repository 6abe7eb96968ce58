#include "collector/http/Routes.h"

#include <iterator>

#include "collector/http/Api.h"
#include "collector/pages/FleetPages.h"
#include "collector/pages/SitePages.h"

namespace collector {
namespace {

Response NoSuchResource(std::string_view path) { return ErrorResponse(404, "no such resource: " + std::string(path)); }

Response Asset(const Request& r) {
  auto asset = pages::Asset(r.path);
  return asset ? *asset : NoSuchResource(r.path);
}

constexpr Route kRoutes[] = {
    {"/v1/health", "", false, false, [](const Request& r) { return ApiHealth(r.store, r.receivingBytes); }},
    {"/v1/documents", "", false, true, [](const Request& r) { return ApiDocuments(r.store, r.args); }},
    {"/v1/documents/", "/raw", true, true, [](const Request& r) { return ApiRawDocument(r.store, r.rest); }},
    {"/v1/events/summary", "", false, true, [](const Request& r) { return ApiEventSummary(r.store, r.args); }},
    {"/v1/machines", "", false, true, [](const Request& r) { return ApiMachines(r.store, r.args); }},
    {"/v1/products", "", false, true, [](const Request& r) { return ApiProducts(r.store, r.args); }},
    {"/v1/products/", "", true, true, [](const Request& r) { return ApiProduct(r.store, r.rest, r.args); }},
    {"/", "", false, true, [](const Request& r) { return pages::OverviewPage(r.store, r.args, r.nowMs); }},
    {"/events/", "", true, true, [](const Request& r) { return pages::EventPage(r.store, r.rest, r.args, r.nowMs); }},
    {"/machines", "", false, true, [](const Request& r) { return pages::MachinesPage(r.store, r.args); }},
    {"/machines.csv", "", false, true, [](const Request& r) { return pages::MachinesCsv(r.store, r.args); }},
    {"/products", "", false, true, [](const Request& r) { return pages::ProductsPage(r.store, r.args); }},
    {"/products/", "", true, true, [](const Request& r) { return pages::ProductPage(r.store, r.rest, r.args); }},
    {"/machines/", "", true, true,
     [](const Request& r) { return pages::MachinePage(r.store, r.rest, r.args, r.nowMs); }},
    {"/documents/", "", true, true, [](const Request& r) { return pages::DocumentPage(r.store, r.rest); }},
    {"/static/", "", true, false, Asset},
};

bool Matches(const Route& route, std::string_view path, std::string_view& rest) {
  if (!route.open) return path == route.prefix;
  const size_t fixed = route.prefix.size() + route.suffix.size();
  if (path.size() <= fixed || path.substr(0, route.prefix.size()) != route.prefix ||
      path.substr(path.size() - route.suffix.size()) != route.suffix) {
    return false;
  }
  rest = path.substr(route.prefix.size(), path.size() - fixed);
  return true;
}

}  // namespace

const Route* FindRoute(std::string_view path) {
  std::string_view rest;
  for (const Route& route : kRoutes) {
    if (Matches(route, path, rest)) return &route;
  }
  return nullptr;
}

bool NeedsToken(std::string_view path) {
  const Route* route = FindRoute(path);
  return !route || route->needsToken;
}

Response AnswerGet(const Request& request) {
  for (const Route& route : kRoutes) {
    Request matched = request;
    if (Matches(route, request.path, matched.rest)) return route.handler(matched);
  }
  return NoSuchResource(request.path);
}

}  // namespace collector
