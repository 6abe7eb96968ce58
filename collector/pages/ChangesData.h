// What a changes page or answer shows, gathered from the store: the two
// reports of one machine (by default its newest and the one before) and
// what changed between them.
#pragma once
#include <string>
#include <vector>

#include "collector/base/Response.h"
#include "collector/base/Status.h"
#include "collector/compare/ReportChanges.h"
#include "collector/store/Store.h"

namespace collector::pages {

// The machine's reports a page offers to pick from, newest first.
constexpr int64_t kPickableReports = 200;

struct ChangesData {
  std::string machine;
  ReportRef from, to;
  bool all = false;
  ReportChanges changes;
  std::vector<DocumentInfo> reports;  // the machine's newest, at most kPickableReports
};

// `from`, `to` (document ids) and `all` from the query. kInvalid for a query
// that cannot be read, kNotFound for a machine without two reports or an id
// that is not one of its documents; other failures are the store's.
Status GatherChanges(Store& store, const std::string& machine, const QueryArgs& args, ChangesData& data);

}  // namespace collector::pages
