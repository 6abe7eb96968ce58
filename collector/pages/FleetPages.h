// The fleet's pages: machines (searched, filtered, sorted, a page at a time,
// and the whole selection as CSV) and products (with their versions).
#pragma once
#include <string>
#include <string_view>

#include "collector/base/Response.h"
#include "collector/store/Store.h"

namespace collector::pages {

constexpr int64_t kPageRows = 100;

// q, os, product, version, sort, desc, after, before and limit from a query;
// Invalid, with what is wrong, for a bad sort or limit.
Status ReadMachineQuery(const QueryArgs &args, MachineQuery &query);

// A CSV cell: quoted, quotes doubled, and a cell that a spreadsheet would
// take for a formula (starting with = + - @, a tab or a carriage return)
// made text by a leading apostrophe.
std::string CsvCell(std::string_view text);

Response MachinesPage(Store &store, const QueryArgs &args);
Response MachinesCsv(Store &store, const QueryArgs &args);
Response ProductsPage(Store &store, const QueryArgs &args);
Response ProductPage(Store &store, std::string_view name,
                     const QueryArgs &args);

} // namespace collector::pages
