// The pieces of SqlStore's write path that live in files of their own: rows
// as multi-row INSERTs, the inventory of each machine and the event rollups,
// all written inside the document's transaction.
#pragma once
#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "collector/document/DocumentRows.h"
#include "collector/store/SqlSession.h"
#include "collector/store/Store.h"

namespace collector {

using RowFiller =
    std::function<void(size_t row, std::vector<SqlValue> &params)>;

// `count` rows of `width` columns after `head` ("INSERT INTO t (a, b)"),
// a bounded number per statement; `tail` follows each statement's values.
Status InsertRows(SqlSession &session, const std::string &head, size_t width,
                  size_t count, const RowFiller &fill,
                  const std::string &tail = "");

// One row per entry of the map `rows`, in its order; `fill(entry, params)`
// gives the entry's columns.
template <typename Map, typename Fill>
Status Upsert(SqlSession &session, const std::string &head, size_t width,
              const Map &rows, const Fill &fill, const std::string &tail) {
  return InsertRows(
      session, head, width, rows.size(),
      [&, it = rows.begin()](size_t, std::vector<SqlValue> &p) mutable {
        fill(*it++, p);
      },
      tail);
}

// The batch's products and adapters, kept while their report is its
// machine's newest (UpdateInventory removes them otherwise).
Status InsertInventoryRows(SqlSession &session, int64_t id,
                           const RowBatch &batch);

// After a parsed document's rows: its machine's counts, and its facts and
// inventory when it is the newest to carry them.
Status UpdateInventory(SqlSession &session, int64_t id, const Arrival &arrival,
                       const DocumentSummary &summary);

// What one document adds to the event rollups, gathered over its batches.
class EventRollup {
public:
  void Add(const std::vector<EventRow> &events);

  struct PerName {
    int64_t events = 0, valueSum = 0, elapsedEvents = 0;
    std::map<int64_t, int64_t> elapsed; // bucket -> events
  };
  const std::map<std::string, PerName> &Names() const { return names_; }

private:
  std::map<std::string, PerName> names_;
};

// The event rollups of the documents of one transaction, added up so that
// what they share (a name on a day) is written once, in key order
// (concurrent writers lock rows alike).
class EventRollups {
public:
  void Add(int64_t receivedMs, const std::string &machine,
           const EventRollup &rollup);
  Status Write(SqlSession &session) const;

private:
  struct Counts {
    int64_t events = 0, documents = 0, valueSum = 0, elapsedEvents = 0;
  };
  std::map<std::pair<int64_t, std::string>, Counts> days_, hours_; // unit, name
  std::map<std::tuple<int64_t, std::string, int64_t>, int64_t>
      elapsed_; // day, name, bucket -> events
  std::map<std::pair<std::string, int64_t>, int64_t> totals_; // name, bucket
  std::set<std::tuple<int64_t, std::string, std::string>>
      machineDays_; // day, name, machine
  std::map<std::pair<std::string, std::string>, int64_t>
      machineLast_; // name, machine -> day
};

// What removing documents takes off the rollups. Gather reads it from a
// chunk of the documents (`inList` names them by d.id) while their events
// are still there; Apply takes it off once they have gone, and asks the
// machines' rows of the days they touched again of what is left; the
// value rollups are taken off a chunk at a time as they are gathered.
class RemovedRollup {
public:
  Status Gather(SqlSession &session, const std::string &inList,
                const std::vector<SqlValue> &ids);
  Status Apply(SqlSession &session) const;

private:
  struct Counts {
    int64_t events = 0, documents = 0, valueSum = 0, elapsedEvents = 0;
  };
  std::map<std::pair<int64_t, std::string>, Counts> hours_; // hour, name
  std::map<std::tuple<int64_t, std::string, int64_t>, int64_t>
      elapsed_; // day, name, bucket -> events
  std::set<std::tuple<std::string, int64_t, std::string>>
      machineDays_;          // machine, day, name
  std::set<int64_t> days_; // of every parsed document removed
};

// The machines whose documents are being removed. Gather notes each (and
// whether its newest facts or report goes) before the documents go; Apply
// counts each machine again from what it has left, rebuilds the inventory
// of one whose newest facts or report went, and removes one left with none.
class RemovedMachines {
public:
  Status Gather(SqlSession &session, const std::string &inList,
                const std::vector<SqlValue> &ids);
  Status Apply(SqlSession &session) const;

private:
  std::map<std::string, bool> machines_; // name -> its newest went
};

} // namespace collector
