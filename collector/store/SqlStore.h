// The Store written once in SQL that SQLite and PostgreSQL both accept, over
// a pool of sessions so that each request thread has a connection of its own.
#pragma once
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "collector/store/CommitQueue.h"
#include "collector/store/SqlSession.h"
#include "collector/store/SqlValueRollup.h"
#include "collector/store/Store.h"

namespace collector {

using SessionOpener = std::function<Status(std::unique_ptr<SqlSession>&)>;

class SqlStore : public Store {
 public:
  // The most connections one store opens; further requests wait for one,
  // at most kSessionWait, then fail as unavailable.
  static constexpr size_t kMaxSessions = 16;
  static constexpr std::chrono::milliseconds kSessionWait{10000};

  // `groupCommit`: this process's writes go through one queue and are
  // committed in batches (SQLite allows one writer and each commit waits for
  // the disk; PostgreSQL batches concurrent commits itself).
  SqlStore(SessionOpener open, std::string backend, bool groupCommit)
      : open_(std::move(open)), backend_(std::move(backend)), groupCommit_(groupCommit) {}
  ~SqlStore() override;
  // Opens the first session, migrates the schema and starts folding the
  // value rollups in the background.
  Status Init();
  Status CatchUp() override { return FoldValues(SIZE_MAX); }

  Status Put(const Arrival& arrival, RowSource& rows, PutResult& result) override;
  // One transaction for all the items, each alone when it fails.
  void PutEach(std::vector<PutItem>& items) override;
  Status ListDocuments(const Filter& filter, std::vector<DocumentInfo>& out) override;
  Status Document(int64_t id, std::optional<DocumentInfo>& out) override;
  Status Neighbours(const DocumentInfo& of, const std::string& kind, std::optional<int64_t>& before,
                    std::optional<int64_t>& after) override;
  Status PackedBody(int64_t id, std::string& packed, bool& found) override;
  Status SummarizeEvents(const Filter& filter, std::vector<EventSummary>& out) override;
  Status Machines(std::vector<MachineInfo>& out) override;
  Status Machine(const std::string& name, std::optional<MachineInfo>& out) override;
  Status MachineNames(std::vector<std::string>& out) override;
  Status DocumentsPerDay(const Filter& filter, std::vector<std::pair<int64_t, int64_t>>& out) override;
  Status EventTimes(const Filter& filter, std::vector<EventTime>& out) override;
  Status DiskHistory(const Filter& filter, std::vector<DiskSample>& out) override;
  Status RemoveDocuments(const Selection& selection, Removed& removed) override;
  Status Reclaim(bool rewrite) override;
  Status CreateSession(const std::string& digest, const SessionRecord& session, int64_t nowMs) override;
  Status FindSession(const std::string& digest, int64_t nowMs, int64_t idleMs,
                     std::optional<SessionRecord>& out) override;
  Status EndSession(const std::string& digest) override;
  Status FindMachines(const MachineQuery& query, MachinePage& out) override;
  Status Products(const ProductQuery& query, ProductPage& out) override;
  Status ProductMachines(const std::string& name, const std::string& after, int64_t limit,
                         ProductMachinesPage& out) override;
  Status RebuildInventory(const std::string& machine) override;
  Status EventHistogram(const Filter& filter, std::vector<std::pair<int64_t, int64_t>>& perDay,
                        std::vector<std::pair<int64_t, int64_t>>& elapsed) override;
  Status BreakDownEvent(const Filter& filter, const std::string& path, int64_t bucketMs, Breakdown& out) override;
  Status EventDataPoints(const Filter& filter, std::vector<std::string>& out) override;
  Status Properties(const Filter& filter, size_t top, std::vector<PropertySummary>& out) override;
  Status PropertyOverTime(const Filter& filter, const std::string& path, PropertyHistory& out) override;
  Status EventsPerHour(const Filter& filter, std::vector<std::pair<int64_t, int64_t>>& out) override;
  Status DocumentsPerHour(const Filter& filter, std::vector<std::pair<int64_t, int64_t>>& out) override;
  Status Health(int64_t& schema) override;
  std::string Backend() const override { return backend_; }

 private:
  // Runs `work` on an idle session (opening one when none is idle, waiting
  // at most `wait` for one) and returns the session to the pool afterwards;
  // a session that `work` left by a throw is closed instead.
  Status WithSession(const std::function<Status(SqlSession&)>& work, std::chrono::milliseconds wait = kSessionWait);
  void PutBatch(SqlSession& session, const std::vector<PendingPut*>& batch);
  Status PutInTransaction(SqlSession& session, const std::vector<PendingPut*>& batch);
  // Inventories the migration left to be read from the reports' bodies.
  Status RebuildStaleInventories();
  // Folds documents waiting for their value rollups, at most `batches`
  // batches of them (SqlValueRollup.h).
  Status FoldValues(size_t batches);
  void FoldInBackground();
  void NoteStored(size_t documents);

  SessionOpener open_;
  std::string backend_;
  bool groupCommit_;
  CommitQueue commits_{64};
  std::mutex mutex_;
  std::condition_variable released_;
  std::vector<std::unique_ptr<SqlSession>> idle_;
  size_t openSessions_ = 0;  // idle or in use
  std::atomic<int64_t> monthsMadeOn_{-1};  // the day PostgreSQL's partitions were last made for
  RecentValues recent_;
  std::mutex foldMutex_;
  std::condition_variable foldWake_;
  std::atomic<bool> stopping_{false};
  size_t stored_ = 0;  // documents stored since the last background fold
  std::thread folder_;
};

}  // namespace collector
