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

// The answer for a page path, or empty when `path` names no page. `nowMs`
// is the current time, which default time ranges count back from.
std::optional<Response> AnswerPage(Store& store, std::string_view path, const QueryArgs& args, int64_t nowMs);

}  // namespace collector::pages
