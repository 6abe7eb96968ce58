// The data points clients send, and the list of recent documents.
#pragma once
#include <cstdint>
#include <string_view>

#include "collector/base/Response.h"
#include "collector/store/Store.h"

namespace collector::pages {

constexpr size_t kPropertyValuesShown = 5;
constexpr int64_t kDocumentsPerPage = 50;

// /properties: every data point over the range with its documents and most
// common values.
Response PropertiesPage(Store &store, const QueryArgs &args, int64_t nowMs);
// /properties/PATH: one data point's values over time.
Response PropertyPage(Store &store, std::string_view path,
                      const QueryArgs &args, int64_t nowMs);
// /documents?kind=&machine=&name=&days=|from=&to=&after=: recent documents, a
// page at a time.
Response DocumentsPage(Store &store, const QueryArgs &args, int64_t nowMs);

// The `after` cursor of a documents page: "RECEIVED_MS.ID"; none when
// unreadable.
std::optional<std::pair<int64_t, int64_t>>
ReadDocumentCursor(std::string_view text);

} // namespace collector::pages
