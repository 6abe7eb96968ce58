// The Store written once in SQL that SQLite and PostgreSQL both accept, over
// a pool of sessions so that each request thread has a connection of its own.
#pragma once
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "collector/CommitQueue.h"
#include "collector/SqlSession.h"
#include "collector/Store.h"

namespace collector {

using SessionOpener = std::function<qtl::status(std::unique_ptr<SqlSession>&)>;

class SqlStore : public Store {
 public:
  // The most connections one store opens; further requests wait for one.
  static constexpr size_t kMaxSessions = 16;

  // `groupCommit`: this process's writes go through one queue and are
  // committed in batches (SQLite allows one writer and each commit waits for
  // the disk; PostgreSQL batches concurrent commits itself).
  SqlStore(SessionOpener open, std::string backend, bool groupCommit)
      : open_(std::move(open)), backend_(std::move(backend)), groupCommit_(groupCommit) {}
  // Opens the first session and migrates the schema.
  qtl::status Init();

  qtl::status Put(const Arrival& arrival, const DocumentRows& rows, PutResult& result) override;
  qtl::status ListDocuments(const Filter& filter, std::vector<DocumentInfo>& out) override;
  qtl::status PackedBody(int64_t id, std::string& packed, bool& found) override;
  qtl::status SummarizeEvents(const Filter& filter, std::vector<EventSummary>& out) override;
  qtl::status Machines(std::vector<MachineInfo>& out) override;
  qtl::status DocumentsPerDay(const Filter& filter, std::vector<std::pair<int64_t, int64_t>>& out) override;
  qtl::status EventTimes(const Filter& filter, std::vector<EventTime>& out) override;
  qtl::status DiskHistory(const Filter& filter, std::vector<DiskSample>& out) override;
  qtl::status Health(int64_t& schema) override;
  std::string Backend() const override { return backend_; }

 private:
  // Runs `work` on an idle session (opening one when none is idle) and
  // returns the session to the pool afterwards, unless it failed.
  qtl::status WithSession(const std::function<qtl::status(SqlSession&)>& work);
  void PutBatch(SqlSession& session, const std::vector<PendingPut*>& batch);
  qtl::status PutInTransaction(SqlSession& session, const std::vector<PendingPut*>& batch);
  qtl::status PutDocument(SqlSession& session, const Arrival& arrival, const DocumentRows& rows, PutResult& result);
  qtl::status PutRows(SqlSession& session, int64_t id, const DocumentRows& rows);

  SessionOpener open_;
  std::string backend_;
  bool groupCommit_;
  CommitQueue commits_{64};
  std::mutex mutex_;
  std::condition_variable released_;
  std::vector<std::unique_ptr<SqlSession>> idle_;
  size_t openSessions_ = 0;
};

}  // namespace collector
