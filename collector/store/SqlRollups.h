// Event summaries answered from the rollups (SqlRollups.cpp) instead of the
// events.
#pragma once
#include <map>
#include <optional>
#include <utility>
#include <vector>

#include "collector/store/SqlSession.h"
#include "collector/store/Store.h"

namespace collector {

// Whether the rollups can answer `filter`: no machine, whole UTC days.
bool RollupsAnswer(const Filter &filter);
// The smallest elapsed bucket with at least `percent` of `count` at or
// below it: nearest rank over counts per bucket (Schema.h).
std::optional<int64_t> Percentile(const std::map<int64_t, int64_t> &buckets,
                                  int64_t count, int percent);
// Percentiles there are nearest-rank over the elapsed buckets (Schema.h).
Status SummarizeFromRollups(SqlSession &session, const Filter &filter,
                            std::vector<EventSummary> &out);
Status HistogramFromRollups(SqlSession &session, const Filter &filter,
                            std::vector<std::pair<int64_t, int64_t>> &perDay,
                            std::vector<std::pair<int64_t, int64_t>> &elapsed);

} // namespace collector
