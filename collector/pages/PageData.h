// What the overview, event and machine pages show, gathered from the store
// before any HTML is written: one store call per question, none per row.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "collector/base/Response.h"
#include "collector/base/Status.h"
#include "collector/store/Store.h"

namespace collector::pages {

constexpr int64_t kDayMs = 86400000;
constexpr int64_t kMaxDays = 3650;
constexpr int64_t kMaxRows = 200000;  // disk samples one chart reads
constexpr int64_t kRecentMachines = 20;

constexpr int64_t kHourlyUpToMs = 3 * kDayMs;  // ranges this short are counted per hour

// The time range and machine a page was asked for: the last `days` days,
// or `from` to `to` when both were given.
struct Scope {
  int64_t days = 30;
  std::string machine;
  int64_t firstDay = 0;  // days since 1970, inclusive
  int64_t lastDay = 0;
  int64_t sinceMs = 0, untilMs = 0;  // the window, `untilMs` exclusive
  bool custom = false;               // from `from` and `to`

  Filter ToFilter() const;
  // An hour for ranges of three days or less, else a day.
  int64_t BucketMs() const { return untilMs - sinceMs <= kHourlyUpToMs ? kHourBucketMs : kDayMs; }
  // "days=N" or "from=..&amp;to=..", then the machine: the query that asks for this scope.
  std::string Query() const;
};

// `days`, `from`, `to` and `machine` from the query, the days counted back
// from the day of `nowMs`; `from` and `to` take what the API's `since` and
// `until` take, a date alone in `to` that whole day. Invalid, with the
// message a person reads, for a bad range.
Status ReadScope(const QueryArgs& args, int64_t nowMs, Scope& scope);

struct OverviewData {
  Scope scope;
  std::vector<MachineInfo> machines;  // the selected one, else the most recently seen
  std::vector<std::pair<int64_t, int64_t>> perDay;  // per day or hour, per scope.BucketMs()
  std::vector<EventSummary> events;
  std::vector<DocumentInfo> recent;
};

struct EventPageData {
  Scope scope;
  std::string name;
  std::vector<EventSummary> summary;  // empty when no such event is in range
  std::vector<std::pair<int64_t, int64_t>> perDay;   // day (or hour, per scope.BucketMs()), events
  std::vector<std::string> dataPoints;  // seen with the event, to break it down by
  std::string by;                       // the data point it is broken down by, if any
  Breakdown breakdown;
  std::vector<std::pair<int64_t, int64_t>> elapsed;  // bucket, events
};

struct MachinePageData {
  Scope scope;
  std::string name;
  std::optional<MachineInfo> machine;  // none when no document names it
  std::vector<DocumentInfo> documents;
  std::vector<DiskSample> disks;  // at most kMaxRows
};

Status GatherOverview(Store& store, const Scope& scope, OverviewData& data);
// `by`: a data point to break the event down by, or empty.
Status GatherEventPage(Store& store, const Scope& scope, const std::string& name, const std::string& by,
                       EventPageData& data);
Status GatherMachinePage(Store& store, const Scope& scope, const std::string& name, MachinePageData& data);

}  // namespace collector::pages
