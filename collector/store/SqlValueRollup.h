// The rollups behind breakdowns and the data points page: per UTC day (and
// hour) × event name × data point × value, and per day × data point × value
// the documents that carry it. A document adds a bounded number of rows
// whatever its shape: the first kRolledPaths data point names, each with its
// first value, and at most kRolledRows rows in all (past that, fewer data
// points break its events down).
//
// They are not written by the upload: a stored document waits in
// value_rollup_backlog until a fold takes a batch of them, reads their rows
// back and adds them up in one transaction, so that a value shared by many
// documents costs one row update per batch rather than one per document.
// A data point keeps at most kValuesPerDay values a day; documents with
// further values count under kOtherValues, shown as the other values.
#pragma once
#include <cstdint>
#include <map>
#include <mutex>
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
constexpr int64_t kValuesPerDay = 1000;
// No parsed document holds this text: XML has no way to write U+0001.
inline const std::string kOtherValues = "\x01";

// One document's data points: the path of each, with its first value.
class ValueRollup {
public:
  // Batches in document order: a group before the data points that refer to it.
  void Add(const RowBatch &batch);
  bool Empty() const { return values_.empty(); }
  const std::map<std::string, std::string> &Values() const { return values_; }

private:
  void AddGroup(const GroupRow &group);
  std::vector<std::string>
      groupPaths_; // by group number; empty past the bounds
  std::map<std::string, std::string>
      values_; // data point path -> its first value
};

// Documents' rollups gathered to be added (or taken off) together.
class ValueFold {
public:
  void Add(int64_t receivedMs, ValueRollup values, EventRollup events);
  void Take(ValueFold &&other);
  bool Empty() const { return documents_.empty(); }
  // About how many rows Write would touch, to bound a batch.
  size_t Rows() const { return rows_; }
  // `sign` 1 adds the documents, each value kept or counted as one of the
  // other values by what its day holds already; -1 takes them off where
  // they were counted. In key order, as concurrent writers lock rows alike.
  Status Write(SqlSession &session, int sign) const;

private:
  struct Document {
    int64_t receivedMs;
    ValueRollup values;
    EventRollup events;
  };
  std::vector<Document> documents_;
  size_t rows_ = 0;
};

// The value rollups of documents this process has just stored, kept for
// the fold so that it need not read them back; the newest kLatest only.
class RecentValues {
public:
  static constexpr size_t kLatest = 1024;
  void Keep(int64_t id, ValueFold fold);
  // Moves the document's into `fold`; false when it is not kept.
  bool Take(int64_t id, ValueFold &fold);

private:
  std::mutex mutex_;
  std::map<int64_t, ValueFold> kept_;
};

// Reads the stored document `id` back into `fold` as its upload saw it;
// nothing when it is not there or was not parsed.
Status ReadStoredDocument(SqlSession &session, int64_t id, ValueFold &fold);

// Drops the value rollups of the UTC `days` that count nothing any more,
// after documents were taken off them.
Status DropEmptyValueRollups(SqlSession &session,
                             const std::vector<int64_t> &days);

// Folds the oldest batch of documents still waiting, in one transaction;
// false in `more` once none is left. Taken under the lock that removals take
// in PostgreSQL, so a document is never folded while it is being removed.
Status FoldBacklog(SqlSession &session, RecentValues &recent, bool &more);
Status LockValueRollups(SqlSession &session);

} // namespace collector
