// The pages `serve` answers beside the JSON API: the overview, one event,
// one machine and one document, and the stylesheet and script they link.
#pragma once
#include <cstdint>
#include <optional>
#include <string_view>

#include "collector/base/Response.h"
#include "collector/store/Store.h"

namespace collector::pages {

// The policy every page is sent with: only the collector's own script and
// style, no other source of anything.
constexpr const char* kPagePolicy =
    "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self'; base-uri 'none'; "
    "form-action 'self'; frame-ancestors 'none'";

// Each page's answer: the page, or an error page. `nowMs` is the current
// time, which default time ranges count back from; `args` may hold `days`
// and `machine`.
Response OverviewPage(Store& store, const QueryArgs& args, int64_t nowMs);
Response EventPage(Store& store, std::string_view name, const QueryArgs& args, int64_t nowMs);
Response MachinePage(Store& store, std::string_view name, const QueryArgs& args, int64_t nowMs);
Response DocumentPage(Store& store, std::string_view idText);
// What changed between two reports of machine `name`: `from` and `to` in
// `args` (default: its newest report and the one before), `all=1` for every value.
Response ChangesPage(Store& store, std::string_view name, const QueryArgs& args);
// The answer code for a failure to gather changes: 400, 404, 500 or 503.
int ChangesErrorCode(const Status& s);
// The stylesheet or script at `path`; none for any other path.
std::optional<Response> Asset(std::string_view path);

}  // namespace collector::pages
