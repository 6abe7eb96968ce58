// Event summaries answered from the rollups (SqlRollups.cpp) instead of the
// events.
#pragma once
#include <utility>
#include <vector>

#include "collector/store/SqlSession.h"
#include "collector/store/Store.h"

namespace collector {

// Whether the rollups can answer `filter`: no machine, whole UTC days.
bool RollupsAnswer(const Filter &filter);
// Percentiles there are nearest-rank over the elapsed buckets (Schema.h).
Status SummarizeFromRollups(SqlSession &session, const Filter &filter,
                            std::vector<EventSummary> &out);
Status HistogramFromRollups(SqlSession &session, const Filter &filter,
                            std::vector<std::pair<int64_t, int64_t>> &perDay,
                            std::vector<std::pair<int64_t, int64_t>> &elapsed);

} // namespace collector
