// The rollups behind breakdowns and the data points page, kept at ingest:
// per UTC day (and hour) × event name × data point × value, and per day ×
// data point × value the documents that carry it. A document adds a bounded
// number of rows whatever its shape: the first kRolledPaths data point
// names, each with its first value, and at most kRolledRows rows in all
// (past that, fewer data points break its events down).
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "collector/document/DocumentRows.h"
#include "collector/store/SqlSession.h"
#include "collector/store/SqlWrite.h"

namespace collector {

constexpr size_t kRolledPaths = 32;
constexpr size_t kRolledRows = 8192;
constexpr size_t kRolledGroups = 4096;
constexpr size_t kRolledTextBytes = 256;

class ValueRollup {
public:
  // Batches in document order: a group before the data points that refer to it.
  void Add(const RowBatch &batch);
  // Adds this document's rows to the day and hour of `receivedMs`, in key
  // order; `sign` -1 takes them off instead.
  Status Write(SqlSession &session, int64_t receivedMs,
               const EventRollup &events, int sign = 1) const;

private:
  void AddGroup(const GroupRow &group);
  std::vector<std::string>
      groupPaths_; // by group number; empty past the bounds
  std::map<std::string, std::string>
      values_; // data point path -> its first value
};

// Adds the rollups of the stored document `id` as its ingest did (`sign`
// -1: takes them off, for a document being removed).
Status RollUpStoredDocument(SqlSession &session, int64_t id, int sign = 1);

// Drops the value rollups of the UTC `days` that count nothing any more,
// after documents were taken off them.
Status DropEmptyValueRollups(SqlSession &session,
                             const std::vector<int64_t> &days);

// Takes the value rollups of the UTC `days` (days since 1970) again from the
// documents stored in them: for after documents of those days are removed.
// Run inside the removal's transaction.
Status RecomputeValueRollups(SqlSession &session,
                             const std::vector<int64_t> &days);

// Rolls up the documents stored before these rollups existed, a batch per
// transaction; false in `more` once none is left.
Status RollUpBacklog(SqlSession &session, bool &more);

} // namespace collector
