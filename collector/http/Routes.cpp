#include "collector/http/Routes.h"

#include <iterator>

#include "collector/http/Api.h"
#include "collector/http/Metrics.h"
#include "collector/pages/AnalyticsPages.h"
#include "collector/pages/FleetPages.h"
#include "collector/pages/SitePages.h"

namespace collector {
namespace {

Response NoSuchResource(std::string_view path) { return ErrorResponse(404, "no such resource: " + std::string(path)); }

Response Asset(const Request& r) {
  auto asset = pages::Asset(r.path);
  return asset ? *asset : NoSuchResource(r.path);
}

// The raw bytes' route comes before the document's, whose open part would take "ID/raw".
constexpr Route kRoutes[] = {
    {"GET", "/v1/health", "", false, 0, [](const Request& r) { return ApiHealth(r.store, r.receivingBytes); }},
    {"GET", "/v1/documents", "", false, kRead, [](const Request& r) { return ApiDocuments(r.store, r.args); }},
    {"GET", "/v1/documents/", "/raw", true, kRead, [](const Request& r) { return ApiRawDocument(r.store, r.rest); }},
    {"GET", "/v1/documents/", "", true, kRead, [](const Request& r) { return ApiDocument(r.store, r.rest); }},
    {"DELETE", "/v1/documents/", "", true, kAdmin,
     [](const Request& r) { return ApiRemoveDocument(r.store, r.rest, r.caller.name); }},
    {"GET", "/v1/events/summary", "", false, kRead, [](const Request& r) { return ApiEventSummary(r.store, r.args); }},
    {"GET", "/v1/machines", "", false, kRead, [](const Request& r) { return ApiMachines(r.store, r.args); }},
    {"GET", "/v1/machines/", "/changes", true, kRead,
     [](const Request& r) { return ApiChanges(r.store, r.rest, r.args); }},
    {"DELETE", "/v1/machines/", "", true, kAdmin,
     [](const Request& r) { return ApiRemoveMachine(r.store, r.rest, r.caller.name); }},
    {"GET", "/v1/products", "", false, kRead, [](const Request& r) { return ApiProducts(r.store, r.args); }},
    {"GET", "/v1/products/", "", true, kRead, [](const Request& r) { return ApiProduct(r.store, r.rest, r.args); }},
    {"GET", "/v1/properties", "", false, kRead, [](const Request& r) { return ApiProperties(r.store, r.args); }},
    {"GET", "/v1/properties/", "", true, kRead,
     [](const Request& r) { return ApiProperty(r.store, r.rest, r.args); }},
    {"GET", "/login", "", false, 0, [](const Request& r) { return r.access.SignInPage(r.args); }},
    {"POST", "/login", "", false, 0,
     [](const Request& r) { return r.access.SignIn(r.store, r.form, r.sender, r.nowMs); }},
    // Checks its own form key: a session cookie alone does not sign anyone out.
    {"POST", "/logout", "", false, 0, [](const Request& r) { return r.access.SignOut(r.store, r.form, r.cookie); }},
    {"GET", "/", "", false, kRead, [](const Request& r) { return pages::OverviewPage(r.store, r.args, r.nowMs); }},
    {"GET", "/events/", "", true, kRead,
     [](const Request& r) { return pages::EventPage(r.store, r.rest, r.args, r.nowMs); }},
    {"GET", "/machines", "", false, kRead, [](const Request& r) { return pages::MachinesPage(r.store, r.args); }},
    {"GET", "/machines.csv", "", false, kRead, [](const Request& r) { return pages::MachinesCsv(r.store, r.args); }},
    {"GET", "/products", "", false, kRead, [](const Request& r) { return pages::ProductsPage(r.store, r.args); }},
    {"GET", "/products/", "", true, kRead,
     [](const Request& r) { return pages::ProductPage(r.store, r.rest, r.args); }},
    {"GET", "/machines/", "/changes", true, kRead,
     [](const Request& r) { return pages::ChangesPage(r.store, r.rest, r.args); }},
    {"GET", "/machines/", "", true, kRead,
     [](const Request& r) { return pages::MachinePage(r.store, r.rest, r.args, r.nowMs); }},
    {"GET", "/properties", "", false, kRead,
     [](const Request& r) { return pages::PropertiesPage(r.store, r.args, r.nowMs); }},
    {"GET", "/properties/", "", true, kRead,
     [](const Request& r) { return pages::PropertyPage(r.store, r.rest, r.args, r.nowMs); }},
    {"GET", "/documents", "", false, kRead,
     [](const Request& r) { return pages::DocumentsPage(r.store, r.args, r.nowMs); }},
    {"GET", "/documents/", "", true, kRead, [](const Request& r) { return pages::DocumentPage(r.store, r.rest); }},
    {"GET", "/static/", "", true, 0, Asset},
    {"GET", kMetricsPath, "", false, kRead,
     [](const Request& r) { return Response{200, "text/plain", TheMetrics().Text(r.receivingBytes)}; }},
};

constexpr Route kUnknown = {"GET", "", "", false, kRead, [](const Request& r) { return NoSuchResource(r.path); }};

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

const Route* FindRoute(std::string_view method, std::string_view path) {
  std::string_view rest;
  for (const Route& route : kRoutes) {
    if (route.method == method && Matches(route, path, rest)) return &route;
  }
  return method == "GET" && !Routed(path) ? &kUnknown : nullptr;
}

bool Routed(std::string_view path) {
  std::string_view rest;
  for (const Route& route : kRoutes) {
    if (Matches(route, path, rest)) return true;
  }
  return false;
}

Response Answer(const Route& route, const Request& request) {
  Request matched = request;
  Matches(route, request.path, matched.rest);
  Response response = route.handler(matched);
  if (!request.sessionId.empty() && response.contentType == "text/html") {
    Access::AddSignOut(response.body, request.sessionId);
  }
  return response;
}

}  // namespace collector
