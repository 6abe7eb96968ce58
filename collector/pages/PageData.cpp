#include "collector/pages/PageData.h"

#include "collector/base/WholeNumber.h"
#include "collector/document/TimeText.h"
#include "collector/pages/Html.h"

namespace collector::pages {
namespace {

constexpr int64_t kRecentDocuments = 25;
constexpr int64_t kMachineDocuments = 200;
constexpr int64_t kDataPointLinks = 50;

bool DateOnly(const std::string& text) { return text.size() == 10 && text.find('T') == std::string::npos; }

Status ReadCustomRange(const QueryArgs& args, int64_t nowMs, Scope& scope) {
  const auto from = args.find("from"), to = args.find("to");
  if (from == args.end() && to == args.end()) return {};
  if (from == args.end() || to == args.end()) return Invalid("from and to go together");
  const auto since = ParseUtc(from->second), until = ParseUtc(to->second);
  if (!since) return Invalid("from: not a date, a UTC time or Unix milliseconds: " + from->second);
  if (!until) return Invalid("to: not a date, a UTC time or Unix milliseconds: " + to->second);
  scope.sinceMs = *since;
  scope.untilMs = DateOnly(to->second) ? *until + kDayMs : *until;
  if (scope.sinceMs < 0 || scope.untilMs <= scope.sinceMs) return Invalid("from must come before to");
  if (scope.untilMs - scope.sinceMs > kMaxDays * kDayMs) {
    return Invalid("from and to: at most " + std::to_string(kMaxDays) + " days apart");
  }
  scope.custom = true;
  scope.firstDay = scope.sinceMs / kDayMs;
  scope.lastDay = (scope.untilMs - 1) / kDayMs;
  scope.days = scope.lastDay - scope.firstDay + 1;
  (void)nowMs;
  return {};
}

}  // namespace

// A preset range stays open at its end, as the rollups answer it best.
Filter Scope::ToFilter() const {
  Filter filter;
  filter.sinceMs = sinceMs;
  if (custom) filter.untilMs = untilMs;
  filter.machine = machine;
  return filter;
}

std::string Scope::Query() const {
  std::string query = custom ? "from=" + UrlEncode(FormatUtc(sinceMs)) + "&amp;to=" + UrlEncode(FormatUtc(untilMs))
                             : "days=" + std::to_string(days);
  if (!machine.empty()) query += "&amp;machine=" + UrlEncode(machine);
  return query;
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
  scope.sinceMs = scope.firstDay * kDayMs;
  scope.untilMs = nowMs + 1;
  return ReadCustomRange(args, nowMs, scope);
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
  if (s.ok()) {
    s = scope.BucketMs() == kHourBucketMs ? store.DocumentsPerHour(filter, data.perDay) : store.DocumentsPerDay(filter, data.perDay);
  }
  if (s.ok()) s = store.SummarizeEvents(filter, data.events);
  if (s.ok()) s = store.ListDocuments(recent, data.recent);
  return s;
}

Status GatherEventPage(Store& store, const Scope& scope, const std::string& name, const std::string& by,
                       EventPageData& data) {
  data.scope = scope;
  data.name = name;
  data.by = by;
  Filter filter = scope.ToFilter();
  filter.name = name;
  Status s = store.SummarizeEvents(filter, data.summary);
  if (s.ok()) s = store.EventHistogram(filter, data.perDay, data.elapsed);
  if (s.ok() && scope.BucketMs() == kHourBucketMs) {
    data.perDay.clear();
    s = store.EventsPerHour(filter, data.perDay);
  }
  if (!scope.machine.empty()) return s;  // the breakdowns cover every machine
  Filter points = filter;
  points.limit = kDataPointLinks;
  if (s.ok()) s = store.EventDataPoints(points, data.dataPoints);
  if (s.ok() && !by.empty()) s = store.BreakDownEvent(filter, by, scope.BucketMs(), data.breakdown);
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
