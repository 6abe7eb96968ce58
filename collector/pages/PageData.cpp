#include "collector/pages/PageData.h"

#include "collector/base/WholeNumber.h"

namespace collector::pages {
namespace {

constexpr int64_t kRecentDocuments = 25;
constexpr int64_t kMachineDocuments = 200;

}  // namespace

Filter Scope::ToFilter() const {
  Filter filter;
  filter.sinceMs = firstDay * kDayMs;
  filter.machine = machine;
  return filter;
}

Status ReadScope(const QueryArgs& args, int64_t nowMs, Scope& scope) {
  if (auto it = args.find("days"); it != args.end()) {
    const auto days = ParseWholeNumber(it->second);
    if (!days || *days < 1 || *days > kMaxDays) {
      return Invalid("days: a whole number from 1 to " + std::to_string(kMaxDays) + ": " + it->second);
    }
    scope.days = *days;
  }
  if (auto it = args.find("machine"); it != args.end()) scope.machine = it->second;
  scope.lastDay = nowMs / kDayMs;
  scope.firstDay = scope.lastDay - scope.days + 1;
  return {};
}

Status GatherOverview(Store& store, const Scope& scope, OverviewData& data) {
  data.scope = scope;
  const Filter filter = scope.ToFilter();
  Filter recent = filter;
  recent.limit = kRecentDocuments;
  Status s;
  if (scope.machine.empty()) {
    MachineQuery recentMachines;
    recentMachines.sort = MachineQuery::Sort::kLastSeen;
    recentMachines.descending = true;
    recentMachines.limit = kRecentMachines;
    MachinePage page;
    s = store.FindMachines(recentMachines, page);
    data.machines = std::move(page.machines);
  } else {
    std::optional<MachineInfo> one;
    s = store.Machine(scope.machine, one);
    if (one) data.machines.push_back(std::move(*one));
  }
  if (s.ok()) s = store.DocumentsPerDay(filter, data.perDay);
  if (s.ok()) s = store.SummarizeEvents(filter, data.events);
  if (s.ok()) s = store.ListDocuments(recent, data.recent);
  return s;
}

Status GatherEventPage(Store& store, const Scope& scope, const std::string& name, EventPageData& data) {
  data.scope = scope;
  data.name = name;
  Filter filter = scope.ToFilter();
  filter.name = name;
  Status s = store.SummarizeEvents(filter, data.summary);
  if (s.ok()) s = store.EventHistogram(filter, data.perDay, data.elapsed);
  return s;
}

// Every call runs even for an unknown machine: a failing store is reported
// as failing whichever machine was asked for.
Status GatherMachinePage(Store& store, const Scope& scope, const std::string& name, MachinePageData& data) {
  data.scope = scope;
  data.name = name;
  Filter filter = scope.ToFilter();
  filter.machine = name;
  filter.limit = kMachineDocuments;
  Status s = store.ListDocuments(filter, data.documents);
  if (s.ok()) s = store.Machine(name, data.machine);
  filter.limit = kMaxRows;
  if (s.ok()) s = store.DiskHistory(filter, data.disks);
  return s;
}

}  // namespace collector::pages
