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

// The time range and machine a page was asked for.
struct Scope {
  int64_t days = 30;
  std::string machine;
  int64_t firstDay = 0;  // days since 1970, inclusive
  int64_t lastDay = 0;

  Filter ToFilter() const;
};

// `days` and `machine` from the query, the days counted back from the day
// of `nowMs`; Invalid, with the message a person reads, for a bad `days`.
Status ReadScope(const QueryArgs& args, int64_t nowMs, Scope& scope);

struct OverviewData {
  Scope scope;
  std::vector<MachineInfo> machines;  // the selected one, else the most recently seen
  std::vector<std::pair<int64_t, int64_t>> perDay;
  std::vector<EventSummary> events;
  std::vector<DocumentInfo> recent;
};

struct EventPageData {
  Scope scope;
  std::string name;
  std::vector<EventSummary> summary;  // empty when no such event is in range
  std::vector<std::pair<int64_t, int64_t>> perDay;   // day, events
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
Status GatherEventPage(Store& store, const Scope& scope, const std::string& name, EventPageData& data);
Status GatherMachinePage(Store& store, const Scope& scope, const std::string& name, MachinePageData& data);

}  // namespace collector::pages
